// The manifest's [define] table, and the one pass that puts the build-time values in
// for ${NAME} in the manifest's strings (see replace_defines in manifest_tables.h).
#include <set>

#include "build/defines.h"
#include "build/manifest_tables.h"
#include "common/errors.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// A string with its values put in: far more than any path or text of a manifest, and
// a bound on what a small manifest using a long value many times can make.
constexpr size_t kMaxReplacedBytes = 1u << 20;
// The values put in, over all strings: a manifest of many short strings each using a
// long value may not grow without bound either.
constexpr size_t kMaxAddedBytes = 64u << 20;

Defines read_define_table(const fs::path& manifest, const toml::table& root) {
  Defines values;
  const toml::table* table = single_table(manifest, root, "define");
  if (table == nullptr) return values;
  for (auto&& [key, node] : *table) {
    std::string name(key.str());
    if (!is_define_name(name))
      fail_at(manifest, line_of(key), "[define] has the key " + quote(name) + ", which is not a name (" +
                                          kDefineNameRule + ")");
    const auto* value = node.as_string();
    if (value == nullptr) fail_at(manifest, line_of(node), "[define] " + name + " must be a string");
    values[name] = value->get();
  }
  return values;
}

class Replacer {
 public:
  Replacer(const fs::path& manifest, const Defines& values) : manifest_(manifest), values_(values) {}

  void replace_in(toml::node& node) {
    if (auto* s = node.as_string()) {
      s->get() = replaced(s->get(), line_of(node));
    } else if (auto* table = node.as_table()) {
      for (auto&& [key, value] : *table) replace_in(value);
    } else if (auto* array = node.as_array()) {
      for (toml::node& value : *array) replace_in(value);
    }
  }

  const std::set<std::string>& used() const { return used_; }

 private:
  std::string replaced(const std::string& text, int line) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
      if (text.compare(i, 3, "$${") == 0) {
        out += "${";
        i += 3;
        continue;
      }
      if (text.compare(i, 2, "${") != 0) {
        out += text[i++];
        continue;
      }
      size_t close = text.find('}', i + 2);
      if (close == std::string::npos)
        fail_at(manifest_, line, quote(text) + " has an unclosed \"${\" (\"$${\" writes \"${\")");
      std::string name = text.substr(i + 2, close - i - 2);
      if (!is_define_name(name))
        fail_at(manifest_, line, quote(text) + " has " + quote("${" + name + "}") + ", which is not a name (" +
                                     kDefineNameRule + "; \"$${\" writes \"${\")");
      auto value = values_.find(name);
      if (value == values_.end())
        fail_at(manifest_, line, "${" + name + "} is not defined: set " + name + " in [define] or give -D " +
                                     name + "=VALUE");
      used_.insert(name);
      if (out.size() + value->second.size() > kMaxReplacedBytes)
        fail_at(manifest_, line, "the string grows past 1 MiB with its build-time values (at ${" + name + "})");
      if ((added_ += value->second.size()) > kMaxAddedBytes)
        fail_at(manifest_, line, "the build-time values put in grow the manifest past 64 MiB (at ${" + name + "})");
      out += value->second;
      i = close + 1;
    }
    return out;
  }

  const fs::path& manifest_;
  const Defines& values_;
  std::set<std::string> used_;
  size_t added_ = 0;
};

}  // namespace

void replace_defines(const fs::path& manifest, toml::table& root, const Defines& command_line) {
  Defines table = read_define_table(manifest, root);
  Defines values = table;
  for (const auto& [name, value] : command_line) values[name] = value;
  Replacer replacer(manifest, values);
  for (auto&& [key, node] : root)
    if (key.str() != "define") replacer.replace_in(node);
  std::set<std::string> known = replacer.used();
  for (const auto& [name, value] : table) known.insert(name);
  for (const auto& [name, value] : command_line) {
    (void)value;
    if (replacer.used().count(name) != 0) continue;
    std::string nearest = nearest_name(name, known);
    fail(manifest, "-D " + name + " is not used: the manifest has no ${" + name + "}" +
                       (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
  }
}

}  // namespace tvpack
