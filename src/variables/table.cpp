#include "variables/table.h"

#include <cstdlib>
#include <iterator>
#include <map>

#include "base/text16.h"

namespace tv {
namespace {

struct OrdinalLess {
  bool operator()(const char16_t* a, const char16_t* b) const { return u16cmp(a, b) < 0; }
};
using Table = std::map<const char16_t*, const char16_t*, OrdinalLess>;

Table* g_table = nullptr;

void destroy_variable_table() {
  delete g_table;
  g_table = nullptr;
}

Table& table() {
  if (g_table == nullptr) create_variable_table();
  return *g_table;
}

}  // namespace

void create_variable_table() {
  if (g_table != nullptr) return;
  g_table = new Table();
  std::atexit(destroy_variable_table);
}

const char16_t*& variable_slot(const char16_t* name) {
  // emplace keeps the key pointer that first inserted the name.
  return table().emplace(name, nullptr).first->second;
}

const char16_t* const* find_variable(const char16_t* name) {
  auto it = table().find(name);
  return it == table().end() ? nullptr : &it->second;
}

unsigned variable_count() { return static_cast<unsigned>(table().size()); }

bool variable_at(unsigned index, const char16_t** name, const char16_t** value) {
  if (index >= table().size()) return false;
  auto it = std::next(table().begin(), static_cast<std::ptrdiff_t>(index));
  *name = it->first;
  *value = it->second;
  return true;
}

const char16_t** save_variable_values() {
  const char16_t** saved = new const char16_t*[table().size() + 1];
  const char16_t** at = saved;
  for (const auto& entry : table()) *at++ = entry.second;
  return saved;
}

void restore_variable_values(const char16_t** saved) {
  const char16_t** at = saved;
  for (auto& entry : table()) entry.second = *at++;
  delete[] saved;
}

void clear_variable_table() { table().clear(); }

}  // namespace tv
