#include "record/json_bytes.hpp"

#include <nlohmann/json.hpp>

namespace wind {

namespace {

using json = nlohmann::ordered_json;

// The writer cannot take a stray byte, so each one travels through it as the
// marker U+FFFF (written as it is, being valid UTF-8) and two hex digits; a
// U+FFFF of the text itself travels doubled. The writer's output is then
// scanned once and each marker replaced.
constexpr char kMarker[] = "\xEF\xBF\xBF";
constexpr std::size_t kMarkerSize = 3;
constexpr char kHex[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence at s[i], 0 if there is none.
std::size_t sequenceLength(const std::string& s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return k < s.size() ? (unsigned char)s[k] : 0u; };
  const auto in = [](unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; };
  const unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2), b3 = byte(i + 3);
  if (b0 < 0x80) return 1;
  if (in(b0, 0xC2, 0xDF)) return in(b1, 0x80, 0xBF) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80, hi = b0 == 0xED ? 0x9F : 0xBF;
    return in(b1, lo, hi) && in(b2, 0x80, 0xBF) ? 3 : 0;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80, hi = b0 == 0xF4 ? 0x8F : 0xBF;
    return in(b1, lo, hi) && in(b2, 0x80, 0xBF) && in(b3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

std::string marked(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = sequenceLength(s, i);
    if (n == 0) {
      const auto b = (unsigned char)s[i++];
      out += kMarker;
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
      continue;
    }
    if (s.compare(i, n, kMarker) == 0) out += kMarker;
    out.append(s, i, n);
    i += n;
  }
  return out;
}

// The writer's text with each marker turned back: a doubled one into U+FFFF,
// one with hex digits into the escape \udcXX.
std::string unmarked(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text.compare(i, kMarkerSize, kMarker) != 0) {
      out += text[i++];
      continue;
    }
    i += kMarkerSize;
    if (text.compare(i, kMarkerSize, kMarker) == 0) {
      out += kMarker;
      i += kMarkerSize;
    } else {
      out += "\\udc";
      out.append(text, i, 2);
      i += 2;
    }
  }
  return out;
}

void markStrings(json& value) {
  if (value.is_string()) {
    value = marked(value.get_ref<const std::string&>());
  } else if (value.is_structured()) {
    for (json& element : value) markStrings(element);
  }
}

}  // namespace

std::string jsonTextWithBytes(const nlohmann::ordered_json& value, int indent) {
  json copy = value;
  markStrings(copy);
  return unmarked(copy.dump(indent));
}

}  // namespace wind
