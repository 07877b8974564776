// The checks every table of the manifest shares (see manifest_tables.h).
#include "assemble/manifest_tables.h"

#include "assemble/defines.h"
#include "common/errors.h"
#include "common/template.h"
#include "base/text16.h"
#include "session/variable_names.h"

namespace fs = std::filesystem;

namespace tvpack {

bool Reading::uses_refused_variable(const std::u16string& templ) const {
  for (const TemplatePart& part : template_parts(templ)) {
    if (!part.variable) continue;
    if (refused_variables.count(part.text) != 0) return true;
    if (variable_names_refused && !session->defines(part.text)) return true;
  }
  return false;
}

TableReader::TableReader(Reading* reading, const toml::table& table, std::string label)
    : reading_(reading), table_(table), label_(std::move(label)), line_(line_of(table)) {}

void TableReader::only(std::initializer_list<const char*> keys) {
  std::string list;
  for (const char* k : keys) list += list.empty() ? k : std::string(", ") + k;
  for (auto&& [key, node] : table_) {
    (void)node;
    bool known = false;
    for (const char* k : keys) known = known || key.str() == k;
    if (known) continue;
    unknown_key_ = true;
    reading_->error(line_of(key), label_ + " has an unknown key " + quote(std::string(key.str())) + " (it takes " +
                                      list + ")");
  }
}

std::optional<std::u16string> TableReader::text(const char* key, bool required, int* line,
                                                const char* fallback) const {
  const toml::node* node = table_.get(key);
  if (line) *line = node ? line_of(*node) : line_;
  if (node == nullptr) {
    if (!required) return tv::utf8_to_u16(fallback);
    if (!unknown_key_) reading_->error(line_, label_ + " needs a \"" + key + "\" string");
    return std::nullopt;
  }
  if (reading_->refused_strings.count(node) != 0) return std::nullopt;
  const auto* s = node->as_string();
  if (s == nullptr) {
    reading_->error(line_of(*node), label_ + " \"" + key + "\" must be a string");
    return std::nullopt;
  }
  std::u16string value = tv::utf8_to_u16(s->get());
  if (value.find(u'\0') != std::u16string::npos) {
    reading_->error(line_of(*node), label_ + " \"" + key + "\" contains a NUL character");
    return std::nullopt;
  }
  return value;
}

std::optional<std::vector<const toml::table*>> tables(Reading* reading, const toml::table& root, const char* key) {
  std::vector<const toml::table*> out;
  const toml::node* node = root.get(key);
  if (node == nullptr) return out;
  const toml::array* array = node->as_array();
  if (array == nullptr || !array->is_array_of_tables()) {
    reading->error(line_of(*node), std::string("\"") + key + "\" must be an array of tables: write [[" + key +
                                       "]] sections");
    return std::nullopt;
  }
  for (const toml::node& t : *array) out.push_back(t.as_table());
  return out;
}

const toml::table* single_table(Reading* reading, const toml::table& root, const char* key) {
  const toml::node* node = root.get(key);
  if (node == nullptr) return nullptr;
  const toml::table* table = node->as_table();
  if (table == nullptr)
    reading->error(line_of(*node), std::string("\"") + key + "\" must be a table: write one [" + key +
                                       "] section");
  return table;
}

std::string worded_expansion(const Reading* reading, const std::u16string& templ) {
  std::u16string unknown;
  std::string problem = reading->session->worded_expansion(templ, &unknown);
  if (unknown.empty()) return problem;
  std::string nearest = nearest_name(tv::u16_to_utf8(unknown), defined_variable_names(*reading->session));
  return nearest.empty() ? problem : problem + "; did you mean " + nearest + "?";
}

std::string escape_hint(const std::u16string& text) {
  static const char kLetters[] = "btnfr";  // TOML's escapes of one letter that are control characters
  static const char16_t kChars[] = u"\b\t\n\f\r";
  for (char16_t c : text)
    for (size_t i = 0; i < sizeof kLetters - 1; ++i)
      if (c == kChars[i])
        return std::string(" (in a double-quoted TOML string \"\\") + kLetters[i] +
               "\" is an escape, not a backslash and a letter: write the path in single quotes, like '{App}\\readme.txt', "
               "which keep every backslash)";
  return "";
}

std::optional<std::u16string> expand_template(Reading* reading, const std::u16string& templ, int line,
                                              const std::string& what) {
  if (reading->uses_refused_variable(templ)) return std::nullopt;
  std::string problem = worded_expansion(reading, templ);
  if (!problem.empty()) {
    reading->error(line, what + " " + quote(templ) + " " + problem);
    return std::nullopt;
  }
  return reading->session->expand(templ);
}

}  // namespace tvpack
