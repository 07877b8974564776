// The manifest's [define] table, and the one pass that puts the build-time values in
// for ${NAME} in the manifest's strings (see replace_defines in manifest_tables.h).
#include <optional>
#include <set>

#include "assemble/defines.h"
#include "assemble/manifest_tables.h"
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

// [define]'s values. The names refused (a value not a string), or, when the table
// itself was refused, every name, go to *refused: a string using one is refused in
// silence.
struct DefineTable {
  Defines values;
  std::set<std::string> refused;
  bool all_refused = false;
};

DefineTable read_define_table(Reading* r, const toml::table& root) {
  DefineTable out;
  const toml::table* table = single_table(r, root, "define");
  out.all_refused = table == nullptr && root.get("define") != nullptr;
  if (table == nullptr) return out;
  for (auto&& [key, node] : *table) {
    std::string name(key.str());
    if (!is_define_name(name)) {
      r->error(line_of(key), "[define] has the key " + quote(name) + ", which is not a name (" + kDefineNameRule + ")");
    } else if (const auto* value = node.as_string()) {
      out.values[name] = value->get();
    } else {
      r->error(line_of(node), "[define] " + name + " must be a string");
      out.refused.insert(name);
    }
  }
  return out;
}

class Replacer {
 public:
  Replacer(Reading* reading, const DefineTable& table) : reading_(reading), table_(table) {}

  void replace_in(toml::node& node) {
    if (auto* s = node.as_string()) {
      std::optional<std::string> out = replaced(s->get(), line_of(node));
      if (out)
        s->get() = *out;
      else
        reading_->refused_strings.insert(&node);
    } else if (auto* table = node.as_table()) {
      for (auto&& [key, value] : *table) replace_in(value);
    } else if (auto* array = node.as_array()) {
      for (toml::node& value : *array) replace_in(value);
    }
  }

  const std::set<std::string>& used() const { return used_; }
  // Every name a string uses, with a value or without.
  const std::set<std::string>& mentioned() const { return mentioned_; }

 private:
  // Nothing when a value cannot be put in: the first reason told, unless it depends on
  // a value refused before (a [define] refused, or the 64 MiB of values spent). The
  // rest of the string is still read, so that every name it uses counts as used.
  std::optional<std::string> replaced(const std::string& text, int line) {
    std::string out;
    std::optional<std::string> why;  // "": refused in silence
    auto refuse = [&why](const std::string& what) {
      if (!why) why = what;
    };
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
      if (close == std::string::npos) {
        refuse(quote(text) + " has an unclosed \"${\" (\"$${\" writes \"${\")");
        break;
      }
      std::string name = text.substr(i + 2, close - i - 2);
      i = close + 1;
      auto value = table_.values.find(name);
      if (is_define_name(name)) mentioned_.insert(name);
      if (!is_define_name(name)) {
        refuse(quote(text) + " has " + quote("${" + name + "}") + ", which is not a name (" + kDefineNameRule +
               "; \"$${\" writes \"${\")");
      } else if (value == table_.values.end()) {
        bool refused_before = table_.all_refused || table_.refused.count(name) != 0;
        refuse(refused_before ? "" : "${" + name + "} is not defined: set " + name + " in [define] or give -D " +
                                         name + "=VALUE");
      } else {
        used_.insert(name);
        if (why) continue;
        if (out.size() + value->second.size() > kMaxReplacedBytes) {
          refuse("the string grows past 1 MiB with its build-time values (at ${" + name + "})");
        } else if (spent_ || (added_ += value->second.size()) > kMaxAddedBytes) {
          refuse(spent_ ? "" : "the build-time values put in grow the manifest past 64 MiB (at ${" + name + "})");
          spent_ = true;
        } else {
          out += value->second;
        }
      }
    }
    if (!why) return out;
    if (!why->empty()) reading_->error(line, *why);
    return std::nullopt;
  }

  Reading* reading_;
  const DefineTable& table_;
  std::set<std::string> used_, mentioned_;
  size_t added_ = 0;
  bool spent_ = false;
};

}  // namespace

void replace_defines(Reading* r, toml::table& root, const Defines& command_line) {
  DefineTable table = read_define_table(r, root);
  DefineTable values = table;
  for (const auto& [name, value] : command_line) {
    values.values[name] = value;
    values.refused.erase(name);
  }
  Replacer replacer(r, values);
  for (auto&& [key, node] : root)
    if (key.str() != "define") replacer.replace_in(node);
  std::set<std::string> known = replacer.mentioned();
  for (const auto& [name, value] : table.values) known.insert(name);
  for (const auto& [name, value] : command_line) {
    (void)value;
    if (replacer.used().count(name) != 0) continue;
    std::string nearest = nearest_name(name, known);
    r->error(0, "-D " + name + " is not used: the manifest has no ${" + name + "}" +
                    (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
  }
}

}  // namespace tvpack
