// The manifest's [[variable]] tables: each defined in the variable table as the
// installer will define it, in order, so that later templates are checked against it.
#include "build/manifest_tables.h"
#include "common/errors.h"
#include "common/variables.h"
#include "platform/text16.h"
#include "variables/expand.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace tvpack {
namespace {

std::string utf8(const std::u16string& s) { return tv::u16_to_utf8(s); }

// The variables the install dialog shows as they are written, never expanded.
bool is_raw_variable(const std::u16string& name) {
  return name == u"{AppName}" || name == u"{AppVerName}";
}

}  // namespace

void read_variables(const toml::table& root, Manifest* m) {
  reset_simulated_variables();
  bool has_app = false;
  for (const toml::table* t : tables(m->path, root, "variable")) {
    TableReader r(m->path, *t, "[[variable]]");
    r.only({"name", "value"});
    ManifestVariable v;
    int name_line = 0;
    v.name = r.text("name", true, &name_line);
    v.value = r.text("value", true, &v.line);
    bool braced = v.name.size() >= 3 && v.name.front() == u'{' && v.name.back() == u'}' &&
                  v.name.find_first_of(u"{}", 1) == v.name.size() - 1;
    if (!braced)
      fail_at(m->path, name_line, "variable name " + quote(v.name) +
                                      " must be one name in braces, like \"{App}\"");
    if (!is_raw_variable(v.name)) {
      // The installer defines it as the expansion of its value, in this order.
      std::string problem = expansion_problem(v.value);
      if (!problem.empty())
        fail_at(m->path, v.line, "variable " + utf8(v.name) + ": value " + quote(v.value) + " " +
                                     problem);
      tv::variable_slot(tv::pool_string(v.name.c_str())) = tv::expand_variables(v.value.c_str());
    }
    has_app = has_app || v.name == u"{App}";
    m->variables.push_back(v);
  }
  if (!has_app)
    fail(m->path, "defines no {App} variable (the default install folder); add a [[variable]] "
                  "with name = \"{App}\"");
}

}  // namespace tvpack
