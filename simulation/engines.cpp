#include "simulation/engines.hpp"

#include <algorithm>
#include <ostream>
#include <span>

#include "simulation/output_files.hpp"
#include "support/print_format.hpp"

namespace wind {

void writeFields(const FieldArrays& fields, OutputFiles& files, SynthesisProgress* progress) {
  // Each array is one contiguous block with the last index fastest, which is
  // exactly the file layout: one write per component, no copy.
  if (progress != nullptr) progress->begin(SynthesisProgress::writing, fields.nComp);
  for (int c = 0; c < fields.nComp; ++c) {
    const std::span<const float> v = fields.values(c);
    files.write(c, v.data(), std::int64_t(v.size()));
    if (progress != nullptr) progress->advance();
  }
}

void printKaimalListing(const FieldArrays& fields, std::ostream& out) {
  constexpr int kListingLines = 60000;
  if (fields.fieldDim != 1 || fields.nComp < 1) return;
  const int n = std::min(fields.line[0].hi(), kListingLines);
  for (int i = 1; i <= n; ++i) {
    for (int c = 0; c < fields.nComp; ++c) {
      if (c > 0) out << ' ';
      out << formatG6(fields.line[c][i]);
    }
    out << '\n';
  }
  out.flush();
}

}  // namespace wind
