// The built-in folder variables and the install script's variables section.
#pragma once
#include "base/shell_folders.h"
#include "package/script.h"

namespace tv {

// Defines "{Empty}" and the five shell-folder variables ("{AppData}", "{StartMenu}",
// "{Programs}", "{CommonPrograms}", "{Desktop}"). A folder the shell cannot give
// holds the empty string.
void set_folder_variables();

// The folder variables (base/shell_folders.h), in the order set_folder_variables sets
// them: the i-th's name, and the value it gave that variable (null before it ran).
const char16_t* folder_variable_name(unsigned i);
const char16_t* own_folder_value(unsigned i);

// Reads the variables section at cursor and defines its variables, each value the
// expansion of its template. "{AppName}" and "{AppVerName}" set the title and
// description values instead; with skip_app set, "{App}" is passed over.
// Returns 1, or 0 when the section runs past the end of the script (the damaged
// package has then been reported).
int read_variables_section(ScriptCursor& cursor, int skip_app);

// The raw "{AppName}" and "{AppVerName}" strings of the script, or null.
const char16_t* title_value();
const char16_t* description_value();
void clear_title_and_description();

}  // namespace tv
