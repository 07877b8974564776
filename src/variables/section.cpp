#include "variables/section.h"

#include <cstdlib>

#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace tv {
namespace {

const char16_t* g_title = nullptr;
const char16_t* g_description = nullptr;

const char16_t* g_folder_values[kFolderVariables] = {};

}  // namespace

void set_folder_variables() {
  variable_slot(u"{Empty}") = u"";
  for (unsigned i = 0; i < kFolderVariables; ++i) {
    // A 260-unit buffer recorded in the pool as it is; it starts empty, so a
    // folder the shell cannot give is the empty string, never unwritten memory.
    char16_t* buffer = static_cast<char16_t*>(std::malloc(kMaxPath * sizeof(char16_t)));
    const char16_t* value = u"";
    if (buffer != nullptr && pool_record(buffer)) {
      buffer[0] = 0;
      if (!special_folder_path(kFolderVariableList[i].csidl, buffer)) buffer[0] = 0;
      buffer[kMaxPath - 1] = 0;
      value = buffer;
    }
    variable_slot(kFolderVariableList[i].name) = g_folder_values[i] = value;
  }
}

const char16_t* folder_variable_name(unsigned i) { return kFolderVariableList[i].name; }
const char16_t* own_folder_value(unsigned i) { return g_folder_values[i]; }

int read_variables_section(ScriptCursor& cursor, int skip_app) {
  int32_t count = 0;
  if (!read_int(cursor, &count)) return 0;
  for (int32_t i = 0; i < count; ++i) {
    char16_t* name = nullptr;
    char16_t* value = nullptr;
    if (!read_string(cursor, &name)) return 0;
    if (!peek_string(cursor, &value)) return 0;
    if (skip_app && u16eq(name, u"{App}")) {
      // passed over on the second reading
    } else if (u16eq(name, u"{AppName}")) {
      g_title = value;
    } else if (u16eq(name, u"{AppVerName}")) {
      g_description = value;
    } else {
      const char16_t*& slot = variable_slot(name);
      slot = expand_variables(value);
    }
    if (!read_string(cursor, &value)) return 0;
  }
  return 1;
}

const char16_t* title_value() { return g_title; }
const char16_t* description_value() { return g_description; }

void clear_title_and_description() {
  g_title = nullptr;
  g_description = nullptr;
}

}  // namespace tv
