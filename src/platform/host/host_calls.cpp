// The platform calls that touch no file, answered from what the program was told
// (host_calls.h): message boxes, the owner window, the shell folders, the environment,
// the user's own folders, the installer's own resources, the case rule for names and
// the large-buffer hint. The maker's platform and the test stand-in both link this.
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <map>
#include <vector>

#include "platform/host/host_calls.h"
#include "base/shell_folders.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "base/upcase.h"

namespace tv {
namespace {

struct HostValues {
  posix::Responder responder;
  std::map<int, std::u16string> folders;
  std::vector<std::u16string> own_folders;
  bool own_folders_set = false;
  std::map<std::u16string, std::u16string> environment;
  void* owner = nullptr;
  std::map<OwnResource, std::vector<uint8_t>> resources;
};

HostValues& values() {
  static HostValues v;
  return v;
}

std::map<int, std::u16string> default_folders() {
  return {
      {kCsidlAppData, u"C:\\Users\\Tester\\AppData\\Roaming"},
      {kCsidlStartMenu, u"C:\\Users\\Tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
      {kCsidlPrograms, u"C:\\Users\\Tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
      {kCsidlCommonPrograms, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
      {kCsidlDesktop, u"C:\\Users\\Tester\\Desktop"},
  };
}

std::vector<std::u16string> default_own_folders() {
  const std::u16string profile = u"C:\\Users\\Tester";
  std::vector<std::u16string> out = {profile, u"C:\\Users", u"C:\\Users\\Public",
                                     u"C:\\ProgramData", u"C:\\Windows",
                                     u"C:\\Windows\\system32", u"C:\\Program Files (x86)",
                                     u"C:\\Program Files (x86)\\Common Files"};
  for (const char16_t* mine : {u"Documents", u"Downloads", u"Pictures", u"Music", u"Videos",
                               u"AppData\\Local"})
    out.push_back(profile + u"\\" + mine);
  for (const auto& folder : default_folders()) out.push_back(folder.second);
  return out;
}

std::map<std::u16string, std::u16string> default_environment() {
  return {{u"ProgramW6432", u"C:\\Program Files"},
          {u"CommonProgramW6432", u"C:\\Program Files\\Common Files"}};
}

}  // namespace

namespace posix {

void set_responder(Responder responder) { values().responder = std::move(responder); }

void set_special_folder(int csidl, const std::u16string& path) { values().folders[csidl] = path; }
void reset_special_folders() {
  values().folders = default_folders();
  values().own_folders_set = false;
  values().environment = default_environment();
}
void set_own_folders(const std::vector<std::u16string>& paths) {
  values().own_folders = paths;
  values().own_folders_set = true;
}

void set_environment(const std::u16string& name, const std::u16string& value) {
  values().environment[name] = value;
}

void set_own_resource(OwnResource which, const std::vector<uint8_t>& bytes) {
  values().resources[which] = bytes;
}
void clear_own_resources() { values().resources.clear(); }

}  // namespace posix

void set_owner_window(void* window) { values().owner = window; }
void* owner_window() { return values().owner; }

int show_message(const char16_t* text, const char16_t* caption, unsigned type) {
  if (values().responder) return values().responder(text, caption, type);
  return (type & 0xF) == kMbOk ? kIdOk : kIdCancel;
}

bool special_folder_path(int csidl, char16_t* buf) {
  auto& folders = values().folders;
  if (folders.empty()) folders = default_folders();
  auto it = folders.find(csidl);
  if (it == folders.end() || it->second.empty()) return false;
  return u16copy(buf, 260, it->second.c_str());
}

void list_own_folders(void (*each)(void* context, const char16_t* path), void* context) {
  if (!values().own_folders_set) values().own_folders = default_own_folders();
  for (const auto& folder : values().own_folders) each(context, folder.c_str());
}

bool environment_value(const char16_t* name, char16_t* buf) {
  if (values().environment.empty()) values().environment = default_environment();
  auto it = values().environment.find(name);
  if (it == values().environment.end() || it->second.empty()) return false;
  return u16copy(buf, 260, it->second.c_str());
}

// Units compared by the file systems' case table (base/upcase.h), as the system's
// ordinal comparison that ignores case compares them.
bool same_ignoring_case(const char16_t* a, const char16_t* b, size_t units) {
  for (size_t i = 0; i < units; ++i)
    if (upcase_unit(unit_at(a, i)) != upcase_unit(unit_at(b, i))) return false;
  return true;
}

void prepare_large_buffer(void* data, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only whole pages inside the buffer can be advised; a failure costs nothing.
  uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  uintptr_t begin = (uintptr_t(data) + page - 1) & ~(page - 1);
  uintptr_t end = (uintptr_t(data) + size) & ~(page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

bool own_resource(OwnResource which, const uint8_t** data, size_t* size) {
  auto found = values().resources.find(which);
  if (found == values().resources.end()) return false;
  *data = found->second.data();
  *size = found->second.size();
  return true;
}

}  // namespace tv
