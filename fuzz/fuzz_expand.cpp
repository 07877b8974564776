// Expanding arbitrary templates against arbitrary tables, checked against a
// straightforward model of the same rules.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "base/text16.h"
#include "variables/expand.h"
#include "variables/table.h"

namespace {

// The model: tokens from "{" to the first "}", unknown names and unclosed tokens
// fail, values copied unexpanded, results and tokens above 259 units fail.
bool model(const std::u16string& t, const std::map<std::u16string, std::u16string>& vars,
           std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < t.size();) {
    if (t[i] != u'{') {
      out->push_back(t[i++]);
      continue;
    }
    size_t close = t.find(u'}', i + 1);
    if (close == std::u16string::npos) return false;
    std::u16string name = t.substr(i, close - i + 1);
    if (name.size() > 259) return false;
    auto it = vars.find(name);
    if (it == vars.end()) return false;
    *out += it->second;
    i = close + 1;
  }
  return out->size() <= 259;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  // Units split at NUL: the template, then name/value pairs.
  std::vector<std::u16string> parts(1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    char16_t c = char16_t(data[i] | data[i + 1] << 8);
    if (c == 0)
      parts.emplace_back();
    else
      parts.back().push_back(c);
  }
  std::map<std::u16string, std::u16string> vars;
  for (size_t k = 1; k + 1 < parts.size(); k += 2) vars[parts[k]] = parts[k + 1];
  for (const auto& v : vars) tv::variable_slot(v.first.c_str()) = v.second.c_str();

  // The template at an odd address, as strings of the install script may be.
  std::vector<uint8_t> odd(2 * parts[0].size() + 3);
  std::memcpy(odd.data() + 1, parts[0].data(), 2 * parts[0].size());
  char16_t* result = tv::expand_variables(reinterpret_cast<const char16_t*>(odd.data() + 1));

  std::u16string expected;
  bool ok = model(parts[0], vars, &expected);
  if (ok != (result != nullptr)) std::abort();
  if (ok && expected != std::u16string(result)) std::abort();
  tvfuzz::reset_state();
  return 0;
}
