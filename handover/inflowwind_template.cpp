#include "handover/inflowwind_template.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <filesystem>
#include <string_view>

#include "handover/placement.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

// The section of the uniform wind's hub-height file.
constexpr int kUniformWindType = 2;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// The value token and the key of a line "value key [text]": the value is
// either quoted ('...' or "...") or a run of non-blanks.
struct KeyLine {
  bool ok = false;
  std::size_t valueStart = 0, valueEnd = 0, keyStart = 0, keyEnd = 0;
};

KeyLine keyLine(std::string_view line) {
  KeyLine k;
  std::size_t p = 0;
  while (p < line.size() && blank(line[p])) ++p;
  if (p == line.size()) return k;
  k.valueStart = p;
  if (line[p] == '"' || line[p] == '\'') {
    const std::size_t close = line.find(line[p], p + 1);
    if (close == std::string_view::npos) return k;
    p = close + 1;
  } else {
    while (p < line.size() && !blank(line[p])) ++p;
  }
  k.valueEnd = p;
  if (p == line.size() || !blank(line[p])) return k;
  while (p < line.size() && blank(line[p])) ++p;
  if (p == line.size()) return k;
  k.keyStart = p;
  while (p < line.size() && !blank(line[p])) ++p;
  k.keyEnd = p;
  k.ok = true;
  return k;
}

// A separator line: its first non-blank character is '='. Its WindTypes are
// the numbers after each "WindType" (and an optional '=') in it.
bool separatorLine(std::string_view line, std::vector<int>& windTypes) {
  std::size_t p = 0;
  while (p < line.size() && blank(line[p])) ++p;
  if (p == line.size() || line[p] != '=') return false;
  windTypes.clear();
  const std::string l = lower(line);
  for (std::size_t at = l.find("windtype"); at != std::string::npos;
       at = l.find("windtype", at + 1)) {
    std::size_t q = at + 8;
    while (q < l.size() && (blank(l[q]) || l[q] == '=')) ++q;
    int n = 0;
    const auto r = std::from_chars(l.data() + q, l.data() + l.size(), n);
    if (r.ec == std::errc()) windTypes.push_back(n);
  }
  return true;
}

// The line's value field rewritten to value, keeping its alignment.
std::string withValue(std::string_view line, const KeyLine& k, const std::string& value) {
  const std::string_view gap = line.substr(k.valueEnd, k.keyStart - k.valueEnd);
  std::string field;
  if (k.valueStart == 0) {
    // Left-aligned: the key stays in its column when the value leaves room,
    // else it follows one blank after the value (a gap with tabs is kept).
    if (gap.find('\t') != std::string_view::npos)
      field = value + std::string(gap);
    else if (value.size() < k.keyStart)
      field = value + std::string(k.keyStart - value.size(), ' ');
    else
      field = value + ' ';
  } else {
    // Right-aligned (or indented): the value keeps its right edge where it fits.
    const std::size_t lead =
        k.valueEnd > value.size() ? k.valueEnd - value.size() : std::size_t(0);
    field = std::string(lead, ' ') + value + std::string(gap);
  }
  return field + std::string(line.substr(k.keyStart));
}

std::string quoted(const std::string& name) {
  const char q = name.find('"') == std::string::npos ? '"' : '\'';
  if (name.find(q) != std::string::npos)
    fatalError("The file name " + name +
               " holds both kinds of quote and cannot go into an InflowWind input");
  return q + name + q;
}

InflowWindValue number(int section, const std::string& key, const std::string& value) {
  InflowWindValue v;
  v.section = section;
  v.key = key;
  v.match = key;
  v.value = value;
  return v;
}

InflowWindValue fileName(int section, const std::string& key, const std::string& match,
                         bool prefix, const std::string& value) {
  InflowWindValue v = number(section, key, value);
  v.match = match;
  v.prefix = prefix;
  v.kind = InflowWindValue::Kind::text;
  return v;
}

}  // namespace

int inflowWindType(WindFileFormat f) {
  switch (f) {
    case WindFileFormat::bts: return 3;
    case WindFileFormat::wnd: return 4;
    case WindFileFormat::raw: break;
  }
  return 5;
}

std::vector<InflowWindValue> inflowWindValues(const InflowWindSettings& s) {
  const int type = inflowWindType(s.format);
  std::vector<InflowWindValue> values{number(0, "WindType", std::to_string(type))};
  switch (s.format) {
    case WindFileFormat::bts:
      values.push_back(fileName(type, "FileName_BTS", "FileName", true, s.windFile));
      break;
    case WindFileFormat::wnd: {
      values.push_back(fileName(type, "FilenameRoot", "FileName", true, s.windFile));
      InflowWindValue tower = number(type, "TowerFile", "False");
      tower.kind = InflowWindValue::Kind::flag;
      tower.required = false;
      values.push_back(tower);
      break;
    }
    case WindFileFormat::raw: {
      const char* keys[] = {"FileName_u", "FileName_v", "FileName_w"};
      for (int c = 0; c < 3; ++c) values.push_back(fileName(type, keys[c], keys[c], false, s.rawFiles[c]));
      const BoxGrid& g = s.grid;
      values.push_back(number(type, "nx", std::to_string(g.N1)));
      values.push_back(number(type, "ny", std::to_string(g.N2)));
      values.push_back(number(type, "nz", std::to_string(g.N3)));
      values.push_back(number(type, "dx", shortestText(spacingAlong(g))));
      values.push_back(number(type, "dy", shortestText(spacingAcross(g))));
      values.push_back(number(type, "dz", shortestText(spacingUp(g))));
      InflowWindValue ref =
          number(type, "RefHt_", s.referenceHeight ? shortestText(*s.referenceHeight) : "");
      ref.prefix = true;
      values.push_back(ref);
      values.push_back(number(type, "URef", s.uRef ? shortestText(*s.uRef) : ""));
      if (s.scaled) values.push_back(number(type, "ScaleMethod", "0"));
      if (s.shipped) {
        // InflowWind's profiles: 0 constant, 1 logarithmic, 2 power law.
        const MeanProfile& p = s.profile;
        const bool power = p.kind == ProfileKind::power, log = p.kind == ProfileKind::log;
        values.push_back(number(type, "WindProfile", power ? "2" : log ? "1" : "0"));
        InflowWindValue exponent = number(type, "PLExp_", shortestText(p.alpha));
        exponent.prefix = true;
        if (power) values.push_back(exponent);
        if (log) values.push_back(number(type, "Z0", shortestText(p.z0)));
      }
      break;
    }
  }
  if (s.shipped && s.hubHeight)
    values.push_back(number(0, "WindVziList", shortestText(*s.hubHeight)));
  if (!s.hubSeries.empty()) {
    InflowWindValue file = fileName(kUniformWindType, "FileName_Uni", "FileName_Uni", false,
                                    s.hubSeries);
    InflowWindValue height = number(kUniformWindType, "RefHt_Uni",
                                    s.hubHeight ? shortestText(*s.hubHeight) : "");
    file.required = height.required = s.shipped;
    values.push_back(file);
    values.push_back(height);
  }
  return values;
}

std::string inflowWindValueText(const InflowWindValue& v) {
  return v.kind == InflowWindValue::Kind::text ? quoted(v.value) : v.value;
}

std::string fillInflowWindTemplate(const std::string& text, const InflowWindSettings& s,
                                   const std::string& templateName) {
  // The lines (without their '\n') and the section each lies in.
  std::vector<std::string_view> lines;
  std::vector<std::vector<int>> sectionOf;
  std::vector<bool> isSeparator;
  const std::string_view all(text);
  std::vector<int> current;
  for (std::size_t start = 0; start <= all.size();) {
    const std::size_t nl = all.find('\n', start);
    const std::size_t end = nl == std::string_view::npos ? all.size() : nl;
    if (nl == std::string_view::npos && start == all.size()) break;  // after a final newline
    const std::string_view line = all.substr(start, end - start);
    std::vector<int> named;
    const bool sep = separatorLine(line, named);
    if (sep) current = named;
    lines.push_back(line);
    sectionOf.push_back(current);
    isSeparator.push_back(sep);
    start = end + 1;
  }

  if (s.format == WindFileFormat::raw && (!s.referenceHeight || !s.uRef))
    fatalError(std::string(s.shipped ? "--openfast-input" : "--openfast-template") +
               ": the raw files need the reference height and URef: give --wind-speed and "
               "--hub-height");

  std::vector<std::string> replaced(lines.size());
  std::vector<bool> changed(lines.size(), false);
  const std::string where = "The InflowWind template " + templateName + " has ";
  for (const InflowWindValue& v : inflowWindValues(s)) {
    const std::string sectionText =
        v.section == 0 ? std::string(" outside its wind-file sections")
                       : " in its section for WindType " + std::to_string(v.section);
    bool sectionFound = v.section == 0;
    std::vector<std::size_t> hits;
    for (std::size_t l = 0; l < lines.size(); ++l) {
      const std::vector<int>& sec = sectionOf[l];
      const bool inSection = v.section == 0
                                 ? sec.empty()
                                 : std::find(sec.begin(), sec.end(), v.section) != sec.end();
      if (!inSection) continue;
      sectionFound = true;
      if (isSeparator[l]) continue;
      const KeyLine k = keyLine(lines[l]);
      if (!k.ok) continue;
      const std::string key = lower(lines[l].substr(k.keyStart, k.keyEnd - k.keyStart));
      const std::string want = lower(v.match);
      if (v.prefix ? key.rfind(want, 0) == 0 : key == want) hits.push_back(l);
    }
    if (!sectionFound && !v.required) continue;
    if (!sectionFound)
      fatalError(where + "no section for WindType " + std::to_string(v.section) +
                 " (a separator line of '=' that names WindType = " +
                 std::to_string(v.section) + ")");
    const std::string keyText =
        v.prefix ? "line whose key begins with " + v.match : "line with the key " + v.match;
    if (hits.empty()) {
      if (!v.required) continue;
      if (v.section == 0) fatalError(where + "no WindType line");
      fatalError(where + "no " + keyText + sectionText);
    }
    if (hits.size() > 1)
      fatalError(where + "more than one " + keyText + sectionText);
    const std::size_t l = hits.front();
    const std::string_view base = changed[l] ? std::string_view(replaced[l]) : lines[l];
    replaced[l] = withValue(base, keyLine(base), inflowWindValueText(v));
    changed[l] = true;
  }

  std::string out;
  out.reserve(text.size() + 256);
  for (std::size_t l = 0; l < lines.size(); ++l) {
    if (l > 0) out += '\n';
    out += changed[l] ? std::string_view(replaced[l]) : lines[l];
  }
  if (!text.empty() && text.back() == '\n') out += '\n';
  return out;
}

std::string filledTemplateName(const std::string& firstOutput, const std::string& templateFile) {
  namespace fs = std::filesystem;
  const fs::path first(firstOutput);
  const std::string name = first.stem().string() + "_" + fs::path(templateFile).filename().string();
  return (first.parent_path() / name).string();
}

}  // namespace wind
