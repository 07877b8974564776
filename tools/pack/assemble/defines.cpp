// Build-time values: a name's rule and the -D argument's parser.
#include "assemble/defines.h"

#include <algorithm>
#include <vector>

#include "common/errors.h"
#include "base/text16.h"

namespace tvpack {

bool is_define_name(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

std::string parse_define(const std::string& text, std::string* name, std::string* value) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) return quote(text) + " has no \"=\": write NAME=VALUE";
  *name = text.substr(0, eq);
  *value = text.substr(eq + 1);
  if (!is_define_name(*name)) return quote(*name) + " is not a name (" + std::string(kDefineNameRule) + ")";
  if (tv::u16_to_utf8(tv::utf8_to_u16(*value)) != *value) return "the value of " + *name + " is not UTF-8";
  return "";
}

namespace {

// Edits from a to b: insertions, deletions, substitutions and swaps of neighbours.
size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

}  // namespace

std::string nearest_name(const std::string& name, const std::set<std::string>& names) {
  constexpr size_t kMaxEdits = 2;
  std::string nearest;
  size_t best = kMaxEdits + 1;
  for (const std::string& candidate : names) {
    size_t longer = std::max(candidate.size(), name.size()), shorter = std::min(candidate.size(), name.size());
    if (candidate == name || longer - shorter > kMaxEdits) continue;
    size_t d = edit_distance(name, candidate);
    if (d < best) best = d, nearest = candidate;
  }
  return nearest;
}

}  // namespace tvpack
