// The checks every table of the manifest shares (see manifest_tables.h).
#include "build/manifest_tables.h"

#include "common/errors.h"
#include "common/variables.h"
#include "platform/text16.h"
#include "variables/expand.h"

namespace fs = std::filesystem;

namespace tvpack {

TableReader::TableReader(const fs::path& manifest, const toml::table& table, std::string label)
    : manifest_(manifest), table_(table), label_(std::move(label)), line_(line_of(table)) {}

void TableReader::only(std::initializer_list<const char*> keys) const {
  for (auto&& [key, node] : table_) {
    (void)node;
    bool known = false;
    std::string list;
    for (const char* k : keys) {
      known = known || key.str() == k;
      list += list.empty() ? k : std::string(", ") + k;
    }
    if (!known)
      fail_at(manifest_, line_of(key), label_ + " has an unknown key " + quote(std::string(key.str())) +
                                           " (it takes " + list + ")");
  }
}

std::u16string TableReader::text(const char* key, bool required, int* line, const char* fallback) const {
  const toml::node* node = table_.get(key);
  if (node == nullptr) {
    if (required) fail_at(manifest_, line_, label_ + " needs a \"" + key + "\" string");
    if (line) *line = line_;
    return tv::utf8_to_u16(fallback);
  }
  if (line) *line = line_of(*node);
  const auto* s = node->as_string();
  if (s == nullptr) fail_at(manifest_, line_of(*node), label_ + " \"" + key + "\" must be a string");
  std::u16string value = tv::utf8_to_u16(s->get());
  if (value.find(u'\0') != std::u16string::npos)
    fail_at(manifest_, line_of(*node), label_ + " \"" + key + "\" contains a NUL character");
  return value;
}

std::vector<const toml::table*> tables(const fs::path& manifest, const toml::table& root, const char* key) {
  std::vector<const toml::table*> out;
  const toml::node* node = root.get(key);
  if (node == nullptr) return out;
  const toml::array* array = node->as_array();
  if (array == nullptr || !array->is_array_of_tables())
    fail_at(manifest, line_of(*node), std::string("\"") + key + "\" must be an array of tables: write [[" + key +
                                          "]] sections");
  for (const toml::node& t : *array) out.push_back(t.as_table());
  return out;
}

const toml::table* single_table(const fs::path& manifest, const toml::table& root, const char* key) {
  const toml::node* node = root.get(key);
  if (node == nullptr) return nullptr;
  const toml::table* table = node->as_table();
  if (table == nullptr)
    fail_at(manifest, line_of(*node), std::string("\"") + key + "\" must be a table: write one [" + key +
                                          "] section");
  return table;
}

std::u16string expand_or_fail(const fs::path& manifest, const std::u16string& templ, int line,
                              const std::string& what) {
  std::string problem = expansion_problem(templ);
  if (!problem.empty()) fail_at(manifest, line, what + " " + quote(templ) + " " + problem);
  return tv::expand_variables(templ.c_str());
}

}  // namespace tvpack
