// The variable table: keys are brace-named variables ("{App}"), ordered ordinally
// and case-sensitively; keys and values are borrowed pointers, never copied or freed.
#pragma once

namespace tv {

// Creates the empty table and registers its teardown at exit (start-up, once).
void create_variable_table();

// The value slot of name, inserting name (the pointer itself) with a null value
// when absent.
const char16_t*& variable_slot(const char16_t* name);
// The value slot of name, or null when the table has no such variable.
const char16_t* const* find_variable(const char16_t* name);

// Number of entries, and the i-th in key order (for tools and tests).
unsigned variable_count();
bool variable_at(unsigned index, const char16_t** name, const char16_t** value);

// Every entry's value, in key order, in a new array: for a reading whose effects
// must not last. restore_variable_values puts them back into the same entries (none
// may have been added in between) and frees the array.
const char16_t** save_variable_values();
void restore_variable_values(const char16_t** saved);

// Empties the table (tests and tools that load more than one package).
void clear_variable_table();

}  // namespace tv
