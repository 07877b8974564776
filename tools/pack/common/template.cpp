// The variable table set up as the installer starts, and templates checked against it.
#include "common/variables.h"

#include "common/limits.h"
#include "platform/posix/posix_platform.h"
#include "platform/text16.h"
#include "variables/expand.h"
#include "variables/section.h"
#include "variables/table.h"

namespace tvpack {

void reset_simulated_variables() {
  tv::clear_variable_table();
  tv::posix::reset_special_folders();
  tv::set_folder_variables();
}

std::string expansion_problem(const std::u16string& templ) {
  size_t length = 0;
  for (size_t i = 0; i < templ.size();) {
    if (templ[i] != u'{') {
      ++length;
      ++i;
      continue;
    }
    size_t close = templ.find(u'}', i);
    if (close == std::u16string::npos) return "has an unclosed \"{\"";
    std::u16string name = templ.substr(i, close - i + 1);
    const char16_t* const* value = tv::find_variable(name.c_str());
    if (value == nullptr)
      return "uses " + tv::u16_to_utf8(name) + ", which is neither built in nor defined by a [[variable]] above";
    if (*value != nullptr) length += tv::u16len(*value);
    i = close + 1;
  }
  if (length > kMaxPathUnits)
    return "expands to " + std::to_string(length) + " units; a path may have at most 259";
  if (tv::expand_variables(templ.c_str()) == nullptr) return "cannot be expanded";
  return "";
}

}  // namespace tvpack
