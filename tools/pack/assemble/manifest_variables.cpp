// The manifest's [[variable]] tables: each defined in the variable table as the
// installer will define it, in order, so that later templates are checked against it.
#include "assemble/manifest_tables.h"
#include "common/errors.h"
#include "base/text16.h"

namespace tvpack {
namespace {

std::string utf8(const std::u16string& s) { return tv::u16_to_utf8(s); }

// The variables the install dialog shows as they are written, never expanded.
bool is_raw_variable(const std::u16string& name) {
  return name == u"{AppName}" || name == u"{AppVerName}";
}

// One [[variable]]: defined as the installer will define it, as the expansion of its
// value, in order. Nothing when refused; a name it has then goes to the refused.
std::optional<ManifestVariable> read_variable(Reading* reading, const toml::table& t) {
  TableReader r(reading, t, "[[variable]]");
  r.only({"name", "value"});
  ManifestVariable v;
  int name_line = 0;
  std::optional<std::u16string> name = r.text("name", true, &name_line);
  std::optional<std::u16string> value = r.text("value", true, &v.line);
  bool braced = name && name->size() >= 3 && name->front() == u'{' && name->back() == u'}' &&
                name->find_first_of(u"{}", 1) == name->size() - 1;
  if (name && !braced)
    reading->error(name_line, "variable name " + quote(*name) + " must be one name in braces, like \"{App}\"");
  if (!braced) {
    reading->variable_names_refused = true;
    return std::nullopt;
  }
  v.name = *name;
  if (value && !is_raw_variable(v.name)) {
    if (reading->uses_refused_variable(*value)) {
      value.reset();
    } else if (std::string problem = worded_expansion(reading, *value); !problem.empty()) {
      reading->error(v.line, "variable " + utf8(v.name) + ": value " + quote(*value) + " " + problem);
      value.reset();
    } else {
      reading->session->define(v.name, *value);
    }
  }
  if (!value) {
    reading->refused_variables.insert(v.name);
    return std::nullopt;
  }
  reading->refused_variables.erase(v.name);  // defined again, as the installer would
  v.value = *value;
  return v;
}

}  // namespace

void read_variables(Reading* reading, const toml::table& root) {
  bool has_app = false;
  std::optional<std::vector<const toml::table*>> found = tables(reading, root, "variable");
  if (!found) reading->variable_names_refused = true;
  for (const toml::table* t : found.value_or(std::vector<const toml::table*>())) {
    std::optional<ManifestVariable> v = read_variable(reading, *t);
    has_app = has_app || (v && v->name == u"{App}");
    if (v) reading->m->variables.push_back(*v);
  }
  // A refused [[variable]] may be the {App} meant.
  if (!has_app && !reading->variable_names_refused && reading->refused_variables.count(u"{App}") == 0)
    reading->error(0, "defines no {App} variable (the default install folder); add a [[variable]] "
                      "with name = \"{App}\"");
}

}  // namespace tvpack
