// The names the installer's variable table defines (variables/table.h).
#include "session/variable_names.h"

#include "base/text16.h"
#include "variables/table.h"

namespace tvpack {

std::set<std::string> defined_variable_names(const InstallerSession&) {
  std::set<std::string> names;
  for (unsigned i = 0; i < tv::variable_count(); ++i) {
    const char16_t *name = nullptr, *value = nullptr;
    if (tv::variable_at(i, &name, &value)) names.insert(tv::u16_to_utf8(name));
  }
  return names;
}

}  // namespace tvpack
