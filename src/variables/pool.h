// The string pool: the process-lifetime owner of every string the installer makes
// (expansion results, folder paths). Records are only appended; all are freed at exit.
#pragma once
#include <cstdint>

namespace tv {

// A pooled copy of text (its NUL included), or null for null text or no memory.
char16_t* pool_string(const char16_t* text);
// Makes the record array hold at least `needed` slots (capacities 1, 2, 3, 6, 7, 14, ...).
void reserve_pool(uint32_t needed);
// Records a heap block (from malloc) that the pool then owns; false if it cannot.
bool pool_record(void* block);
// Frees every record and the array (registered to run at exit).
void free_string_pool();

uint32_t pool_capacity();
uint32_t pool_count();

}  // namespace tv
