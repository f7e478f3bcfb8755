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
    case WindFileFormat::netcdf: return 0;  // not InflowWind's: refused with a template
    case WindFileFormat::raw: break;
  }
  return 5;
}

std::vector<InflowWindValue> inflowWindValues(const InflowWindSettings& s) {
  const int type = inflowWindType(s.format);
  std::vector<InflowWindValue> values{number(0, "WindType", std::to_string(type))};
  switch (s.format) {
    case WindFileFormat::bts:
      values.push_back(fileName(type, "FileName_BTS", "FileName_BTS", false, s.windFile));
      break;
    case WindFileFormat::wnd: {
      values.push_back(fileName(type, "FilenameRoot", "FilenameRoot", false, s.windFile));
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
    case WindFileFormat::netcdf: break;
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

namespace {

// A template's lines (without their '\n'), the WindTypes of the section each
// lies in (empty before the first separator) and whether it is a separator.
struct TemplateLines {
  std::vector<std::string_view> lines;
  std::vector<std::vector<int>> sectionOf;
  std::vector<bool> isSeparator;

  bool inSection(std::size_t l, int section) const {
    const std::vector<int>& sec = sectionOf[l];
    return section == 0 ? sec.empty() : std::find(sec.begin(), sec.end(), section) != sec.end();
  }
  // The key of line l, lower case ("" for a separator or a line without one).
  std::string key(std::size_t l) const {
    if (isSeparator[l]) return "";
    const KeyLine k = keyLine(lines[l]);
    return k.ok ? lower(lines[l].substr(k.keyStart, k.keyEnd - k.keyStart)) : std::string();
  }
  // The value token of line l as written.
  std::string value(std::size_t l) const {
    const KeyLine k = keyLine(lines[l]);
    return k.ok ? std::string(lines[l].substr(k.valueStart, k.valueEnd - k.valueStart))
                : std::string();
  }
};

TemplateLines splitTemplate(const std::string& text) {
  TemplateLines t;
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
    t.lines.push_back(line);
    t.sectionOf.push_back(current);
    t.isSeparator.push_back(sep);
    start = end + 1;
  }
  return t;
}

bool keyMatches(const InflowWindValue& v, const std::string& key) {
  const std::string want = lower(v.match);
  return v.prefix ? key.rfind(want, 0) == 0 : key == want;
}

// The part of a key before its first '_' ("filename" of FileName_BTS).
std::string keyStem(const std::string& key) { return key.substr(0, key.find('_')); }

// A line of the section whose key looks like the one InflowWind reads there
// (a shorter or longer spelling of it: Filename for FileName_BTS), and matches
// none of the section's other keys; lines.size() when there is none.
std::size_t nearMiss(const TemplateLines& t, const InflowWindValue& v,
                     const std::vector<InflowWindValue>& all) {
  const std::string want = lower(v.match);
  for (std::size_t l = 0; l < t.lines.size(); ++l) {
    if (!t.inSection(l, v.section)) continue;
    const std::string key = t.key(l);
    if (key.empty()) continue;
    bool other = false;
    for (const InflowWindValue& o : all) other = other || (o.section == v.section && keyMatches(o, key));
    if (other) continue;
    if (key.rfind(keyStem(want), 0) == 0 || want.rfind(keyStem(key), 0) == 0) return l;
  }
  return t.lines.size();
}

}  // namespace

std::string fillInflowWindTemplate(const std::string& text, const InflowWindSettings& s,
                                   const std::string& templateName) {
  const TemplateLines t = splitTemplate(text);

  if (s.format == WindFileFormat::raw && (!s.referenceHeight || !s.uRef))
    fatalError(std::string(s.shipped ? "--openfast-input" : "--openfast-template") +
               ": the raw files need the reference height and URef: give --wind-speed and "
               "--hub-height");

  std::vector<std::string> replaced(t.lines.size());
  std::vector<bool> changed(t.lines.size(), false);
  const std::string where = "The InflowWind template " + templateName + " has ";
  const std::vector<InflowWindValue> values = inflowWindValues(s);
  for (const InflowWindValue& v : values) {
    const std::string sectionText =
        v.section == 0 ? std::string(" outside its wind-file sections")
                       : " in its section for WindType " + std::to_string(v.section);
    bool sectionFound = v.section == 0;
    std::vector<std::size_t> hits;
    for (std::size_t l = 0; l < t.lines.size(); ++l) {
      if (!t.inSection(l, v.section)) continue;
      sectionFound = true;
      if (keyMatches(v, t.key(l))) hits.push_back(l);
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
      // InflowWind stops at a key it does not know by that name: point at the
      // line that stands for it.
      const std::size_t l = nearMiss(t, v, values);
      if (l < t.lines.size()) {
        const KeyLine k = keyLine(t.lines[l]);
        const std::string written(t.lines[l].substr(k.keyStart, k.keyEnd - k.keyStart));
        fatalError("The InflowWind template " + templateName + ", line " + std::to_string(l + 1) +
                   ": the key " + written + " is not " +
                   (v.prefix ? "one beginning with " + v.match : v.match) +
                   ", the name InflowWind reads there" + sectionText + ": write " + v.match +
                   (v.prefix ? "..." : "") + " in its place");
      }
      fatalError(where + "no " + keyText + sectionText);
    }
    if (hits.size() > 1)
      fatalError(where + "more than one " + keyText + sectionText);
    const std::size_t l = hits.front();
    const std::string_view base = changed[l] ? std::string_view(replaced[l]) : t.lines[l];
    replaced[l] = withValue(base, keyLine(base), inflowWindValueText(v));
    changed[l] = true;
  }

  std::string out;
  out.reserve(text.size() + 256);
  for (std::size_t l = 0; l < t.lines.size(); ++l) {
    if (l > 0) out += '\n';
    out += changed[l] ? std::string_view(replaced[l]) : t.lines[l];
  }
  if (!text.empty() && text.back() == '\n') out += '\n';
  return out;
}

std::string inflowWindScalingWarning(const std::string& text, const InflowWindSettings& s,
                                     const std::string& templateName) {
  if (s.format != WindFileFormat::raw || s.scaled) return "";
  const TemplateLines t = splitTemplate(text);
  const int type = inflowWindType(s.format);
  // The section's value of a key, and its line, or "" when it has none.
  const auto find = [&](const std::string& key, std::size_t& line) {
    for (std::size_t l = 0; l < t.lines.size(); ++l)
      if (t.inSection(l, type) && t.key(l) == lower(key)) {
        line = l;
        return t.value(l);
      }
    return std::string();
  };
  std::size_t line = 0;
  const std::string method = find("ScaleMethod", line);
  int m = 0;
  const auto r = std::from_chars(method.data(), method.data() + method.size(), m);
  if (method.empty() || r.ec != std::errc() || m == 0) return "";
  std::string targets;
  if (m == 1 || m == 2) {
    const char* keys[2][3] = {{"SFx", "SFy", "SFz"}, {"SigmaFx", "SigmaFy", "SigmaFz"}};
    for (const char* key : keys[m - 1]) {
      std::size_t at = 0;
      const std::string v = find(key, at);
      if (!v.empty()) targets += std::string(targets.empty() ? ", with " : ", ") + key + " " + v;
    }
  }
  return "The InflowWind template " + templateName + " keeps ScaleMethod " + method + " (line " +
         std::to_string(line + 1) + targets + "): InflowWind will " +
         (m == 1 ? std::string("multiply u, v and w by these factors")
                 : m == 2 ? std::string("scale u, v and w to these standard deviations at the "
                                        "grid's centre point")
                          : std::string("rescale the box")) +
         " and remove each grid point's time mean of u, so the box it reads is not the box "
         "written; set ScaleMethod to 0 in the template to read the box as written";
}

std::string filledTemplateName(const std::string& firstOutput, const std::string& templateFile) {
  namespace fs = std::filesystem;
  const fs::path first(firstOutput);
  const std::string name = first.stem().string() + "_" + fs::path(templateFile).filename().string();
  return (first.parent_path() / name).string();
}

}  // namespace wind
