// The stand-in for the platform calls: a real folder stands for the drives. It
// builds natively and for Windows (where the maker and the portable unit tests use it).
#include <sys/stat.h>
#include <sys/types.h>
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "base/file_error.h"
#include "base/shell_folders.h"
#include "base/text16.h"

namespace tv {
namespace {

struct StandIn {
  std::string root;
  posix::Responder responder;
  std::map<int, std::u16string> folders;
  std::vector<std::u16string> own_folders;
  bool own_folders_set = false;
  std::map<char16_t, int64_t> free_space;
  std::u16string free_space_asked;
  const uint8_t* blob = nullptr;
  uint32_t n = 0;
  uint32_t key = 0;
  int failing_writes = 0;
  int failing_closes = 0;
  int writes_until_failure = 0;  // 0: none planned
  int writes = 0;
  std::set<std::u16string> held;
  std::map<std::u16string, int> held_for;
  std::map<std::u16string, uint32_t> refused;
  std::map<std::u16string, std::u16string> environment;
  uint32_t error = 0;
  uint32_t clock = 0;
  int pauses = 0;
  void* owner = nullptr;
  std::map<OwnResource, std::vector<uint8_t>> resources;
};

StandIn& state() {
  static StandIn s;
  return s;
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

// Held for good, or for a number of attempts more (this one counted).
bool is_held(const char16_t* path) {
  auto it = state().held_for.find(path);
  if (it != state().held_for.end() && it->second > 0) {
    --it->second;
    return true;
  }
  return state().held.count(path) != 0;
}

// The error number of the refusal set for path or the nearest folder above it, else 0.
uint32_t refused_error(const char16_t* path) {
  std::u16string p(path);
  size_t longest = 0;
  uint32_t error = 0;
  for (const auto& r : state().refused) {
    const std::u16string& f = r.first;
    if (p.size() < f.size() || f.size() < longest ||
        !same_ignoring_case(p.c_str(), f.c_str(), f.size()))
      continue;
    if (p.size() == f.size() || p[f.size()] == u'\\' || f.back() == u'\\') {
      longest = f.size();
      error = r.second;
    }
  }
  return error;
}

// A failed call: its error number kept for last_error().
bool failed(uint32_t error) {
  state().error = error;
  return false;
}

// The Windows error number for the host's errno.
uint32_t from_errno() {
  switch (errno) {
    case EACCES: case EPERM: return kErrorAccessDenied;
    case EROFS: return kErrorWriteProtect;
    case EEXIST: return kErrorAlreadyExists;
    case ENOTEMPTY: return 145;  // ERROR_DIR_NOT_EMPTY
    case ENOENT: case ENOTDIR: return 3;  // ERROR_PATH_NOT_FOUND
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

// Host file calls on UTF-8 host paths.
#ifdef _WIN32
std::wstring wide(const std::string& p) {
  std::u16string u = utf8_to_u16(p);
  return std::wstring(u.begin(), u.end());
}
bool host_mkdir(const std::string& p) { return _wmkdir(wide(p).c_str()) == 0; }
bool host_exists_win(const std::string& p) {
  struct _stat64 st;
  return _wstat64(wide(p).c_str(), &st) == 0;
}
int host_stat(const std::string& p, bool* is_dir) {
  struct _stat64 st;
  if (_wstat64(wide(p).c_str(), &st) != 0) return -1;
  *is_dir = (st.st_mode & _S_IFDIR) != 0;
  return 0;
}
bool host_rename(const std::string& a, const std::string& b) {
  return _wrename(wide(a).c_str(), wide(b).c_str()) == 0;
}
FILE* host_fopen(const std::string& p) { return _wfopen(wide(p).c_str(), L"wb"); }
// Opens a file as "wb" does: created or truncated, for writing, binary. -1 on failure.
int host_open_for_write(const std::string& p) {
  return _wopen(wide(p).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int host_write(int fd, const void* data, size_t size) {
  return _write(fd, data, unsigned(size < 0x40000000 ? size : 0x40000000));
}
int host_close(int fd) { return _close(fd); }
bool host_rmdir(const std::string& p) { return _wrmdir(wide(p).c_str()) == 0; }
// The maker's Windows build follows no links of its own here.
std::string host_realpath(const std::string& p) { return host_exists_win(p) ? p : ""; }
#else
bool host_mkdir(const std::string& p) { return mkdir(p.c_str(), 0777) == 0; }
int host_stat(const std::string& p, bool* is_dir) {
  struct stat st;
  if (stat(p.c_str(), &st) != 0) return -1;
  *is_dir = S_ISDIR(st.st_mode);
  return 0;
}
bool host_rename(const std::string& a, const std::string& b) {
  return rename(a.c_str(), b.c_str()) == 0;
}
FILE* host_fopen(const std::string& p) { return std::fopen(p.c_str(), "wb"); }
int host_open_for_write(const std::string& p) {
  return open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}
ssize_t host_write(int fd, const void* data, size_t size) { return write(fd, data, size); }
int host_close(int fd) { return close(fd); }
bool host_rmdir(const std::string& p) { return rmdir(p.c_str()) == 0; }
std::string host_realpath(const std::string& p) {
  char* real = realpath(p.c_str(), nullptr);
  std::string out = real != nullptr ? real : "";
  std::free(real);
  return out;
}
#endif

bool host_exists(const std::string& p) {
  bool dir;
  return host_stat(p, &dir) == 0;
}

}  // namespace

// A file written with the host's plain calls: no stdio buffer between the content
// and the disk, so a file costs one open, its writes and one close.
struct OutputFile {
  int fd;
};

namespace posix {

void set_root(const std::string& root) { state().root = root; }

// The path is resolved lexically as Windows does: "\" and "/" both separate, "."
// and empty components vanish, ".." drops the previous one and stops at the top
// of its drive (or of the current directory), so no path leaves the root.
std::string host_path(const char16_t* windows_path) {
  const std::string& root = state().root;
  if (root.empty() || windows_path == nullptr) return "";
  std::u16string p(windows_path);
  std::string out = root;
  size_t i = 0;
  if (p.size() >= 2 && p[1] == u':' &&
      ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'))) {
    char drive = static_cast<char>(p[0] >= u'a' ? p[0] - 32 : p[0]);
    out += '/';
    out += drive;
    i = 2;
  } else if (!p.empty() && (p[0] == u'\\' || p[0] == u'/')) {
    out += "/C";
  } else {
    out += "/cwd";
  }
  std::vector<std::u16string> parts;
  std::u16string part;
  auto flush = [&] {
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (; i < p.size(); ++i) {
    if (p[i] == u'\\' || p[i] == u'/')
      flush();
    else
      part += p[i];
  }
  flush();
  for (const auto& component : parts) out += "/" + u16_to_utf8(component);
  return out;
}

void set_responder(Responder responder) { state().responder = std::move(responder); }

void set_special_folder(int csidl, const std::u16string& path) { state().folders[csidl] = path; }
void reset_special_folders() {
  state().folders = default_folders();
  state().own_folders_set = false;
  state().environment = default_environment();
}
void set_own_folders(const std::vector<std::u16string>& paths) {
  state().own_folders = paths;
  state().own_folders_set = true;
}

void set_free_space(char16_t drive, int64_t bytes) { state().free_space[drive] = bytes; }
std::u16string free_space_asked() { return state().free_space_asked; }

void set_embedded_package(const uint8_t* blob, uint32_t n, uint32_t key) {
  state().blob = blob;
  state().n = n;
  state().key = key;
}

void set_own_resource(OwnResource which, const std::vector<uint8_t>& bytes) {
  state().resources[which] = bytes;
}
void clear_own_resources() { state().resources.clear(); }

void fail_next_writes(int count) { state().failing_writes = count; }
void fail_next_closes(int count) { state().failing_closes = count; }
void fail_nth_write(int n) { state().writes_until_failure = n; }
int writes_made() { return state().writes; }

void hold_path(const std::u16string& windows_path, bool held) {
  if (held)
    state().held.insert(windows_path);
  else
    state().held.erase(windows_path);
}

void set_environment(const std::u16string& name, const std::u16string& value) {
  state().environment[name] = value;
}

void hold_path_for(const std::u16string& windows_path, int attempts) {
  state().held_for[windows_path] = attempts;
}

void refuse_writes_under(const std::u16string& folder, uint32_t error) {
  if (error == 0)
    state().refused.erase(folder);
  else
    state().refused[folder] = error;
}

int pauses_made() { return state().pauses; }

void clear_faults() {
  state().held_for.clear();
  state().refused.clear();
  state().error = 0;
  state().pauses = 0;
  state().failing_writes = 0;
  state().failing_closes = 0;
  state().writes_until_failure = 0;
  state().held.clear();
  state().free_space.clear();
  state().free_space_asked.clear();
}

}  // namespace posix

void set_owner_window(void* window) { state().owner = window; }
void* owner_window() { return state().owner; }

int show_message(const char16_t* text, const char16_t* caption, unsigned type) {
  if (state().responder) return state().responder(text, caption, type);
  return (type & 0xF) == kMbOk ? kIdOk : kIdCancel;
}

bool create_directory(const char16_t* path) {
  if (path == nullptr || path[0] == 0) return false;
  size_t n = u16len(path);
  if (n == 2 && path[1] == u':') return false;  // a bare drive
  std::string host = posix::host_path(path);
  if (host.empty()) return false;
  if (uint32_t error = refused_error(path)) return failed(error);
  return host_mkdir(host) || failed(from_errno());
}

bool remove_directory(const char16_t* path) {
  std::string host = posix::host_path(path);
  if (host.empty() || path[0] == 0) return false;
  if (uint32_t error = refused_error(path)) return failed(error);
  return host_rmdir(host) || failed(from_errno());
}

uint32_t last_error() { return state().error; }

bool path_exists(const char16_t* path) {
  std::string host = posix::host_path(path);
  return !host.empty() && path[0] != 0 && host_exists(host);
}

bool move_path(const char16_t* from, const char16_t* to) {
  if (is_held(from) || is_held(to)) return failed(kErrorSharingViolation);
  std::string a = posix::host_path(from), b = posix::host_path(to);
  if (a.empty() || b.empty() || !host_exists(a)) return failed(2);  // ERROR_FILE_NOT_FOUND
  if (host_exists(b)) return failed(kErrorAlreadyExists);
  if (uint32_t error = refused_error(from) ? refused_error(from) : refused_error(to))
    return failed(error);
  return host_rename(a, b) || failed(from_errno());
}

OutputFile* open_for_write(const char16_t* path) {
  if (path == nullptr) return nullptr;
  if (is_held(path)) return failed(kErrorSharingViolation), nullptr;
  std::string host = posix::host_path(path);
  if (host.empty()) return nullptr;
  if (uint32_t error = refused_error(path)) return failed(error), nullptr;
  int fd = host_open_for_write(host);  // a directory fails here, as "wb" fails on one
  if (fd < 0) return failed(from_errno()), nullptr;
  return new OutputFile{fd};
}

bool write_file(OutputFile* file, const void* data, size_t size) {
  ++state().writes;
  if (state().writes_until_failure > 0 && --state().writes_until_failure == 0) return failed(112);
  if (state().failing_writes > 0) {
    --state().failing_writes;
    return failed(112);  // ERROR_DISK_FULL
  }
  // The whole content, however many calls the host needs for it.
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    auto done = host_write(file->fd, at, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    at += done;
    size -= size_t(done);
  }
  return true;
}

bool close_file(OutputFile* file) {
  bool ok = host_close(file->fd) == 0;
  delete file;
  if (state().failing_closes > 0) {
    --state().failing_closes;
    return false;
  }
  return ok;
}

bool special_folder_path(int csidl, char16_t* buf) {
  auto& folders = state().folders;
  if (folders.empty()) folders = default_folders();
  auto it = folders.find(csidl);
  if (it == folders.end() || it->second.empty()) return false;
  return u16copy(buf, 260, it->second.c_str());
}

bool drive_exists(char16_t letter) {
  if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - 32);
  if (letter < u'A' || letter > u'Z' || state().root.empty()) return false;
  bool dir = false;
  return host_stat(state().root + "/" + char(letter), &dir) == 0 && dir;
}

void list_own_folders(void (*each)(void* context, const char16_t* path), void* context) {
  if (!state().own_folders_set) state().own_folders = default_own_folders();
  for (const auto& folder : state().own_folders) each(context, folder.c_str());
}

uint32_t milliseconds() { return state().clock; }

void pause_milliseconds(unsigned ms) {
  state().clock += ms;
  ++state().pauses;
}

bool environment_value(const char16_t* name, char16_t* buf) {
  if (state().environment.empty()) state().environment = default_environment();
  auto it = state().environment.find(name);
  if (it == state().environment.end() || it->second.empty()) return false;
  return u16copy(buf, 260, it->second.c_str());
}

// The host's own resolution of links, mapped back to a drive under the root.
bool final_path(const char16_t* path, char16_t* out) {
  std::string host = posix::host_path(path);
  if (host.empty() || path[0] == 0) return false;
  std::string r = host_realpath(host), top = host_realpath(state().root);
  if (r.empty() || top.empty() || r.size() < top.size() + 2 || r.compare(0, top.size(), top) != 0 ||
      r[top.size()] != '/' || (r.size() > top.size() + 2 && r[top.size() + 2] != '/'))
    return false;
  std::u16string win = utf8_to_u16(std::string(1, r[top.size() + 1]) + ":" + r.substr(top.size() + 2));
  for (char16_t& c : win)
    if (c == u'/') c = u'\\';
  if (win.size() == 2) win += u'\\';
  return win.size() < 260 && u16copy(out, 260, win.c_str());
}

namespace {

// One unit in either case: ASCII, Latin-1, Latin Extended-A, basic Greek and Cyrillic
// to upper case; a stand-in for the system's table, enough for the tests' names.
char16_t folded(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F))
    return char16_t(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
  bool odd_lower = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  bool even_lower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if ((odd_lower && c % 2 == 1) || (even_lower && c % 2 == 0)) return char16_t(c - 1);
  return c;
}

}  // namespace

bool same_ignoring_case(const char16_t* a, const char16_t* b, size_t units) {
  for (size_t i = 0; i < units; ++i)
    if (folded(unit_at(a, i)) != folded(unit_at(b, i))) return false;
  return true;
}

bool free_space(const char16_t* dir, uint64_t* bytes) {
  state().free_space_asked = dir;
  char16_t drive = dir[0] >= u'a' && dir[0] <= u'z' ? char16_t(dir[0] - 32) : dir[0];
  auto it = state().free_space.find(drive);
  if (dir[0] == 0 || dir[1] != u':' || it == state().free_space.end() || it->second < 0)
    return false;
  *bytes = uint64_t(it->second);
  return true;
}

// A shortcut is a small text file: the target, the arguments and the show command.
bool save_shortcut(const char16_t* link_path, const char16_t* target, const char16_t* args,
                   int show_cmd) {
  std::string host = posix::host_path(link_path);
  if (host.empty() || is_held(link_path)) return false;
  FILE* f = host_fopen(host);
  if (!f) return false;
  std::string text = "target=" + u16_to_utf8(target) + "\nargs=" + u16_to_utf8(args) +
                     "\nshow=" + std::to_string(show_cmd) + "\n";
  bool ok = std::fwrite(text.data(), text.size(), 1, f) == 1;
  return std::fclose(f) == 0 && ok;
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

bool embedded_package(const uint8_t** blob, uint32_t* n, uint32_t* key) {
  if (state().blob == nullptr) return false;
  *blob = state().blob;
  *n = state().n;
  *key = state().key;
  return true;
}

bool own_resource(OwnResource which, const uint8_t** data, size_t* size) {
  auto found = state().resources.find(which);
  if (found == state().resources.end()) return false;
  *data = found->second.data();
  *size = found->second.size();
  return true;
}

}  // namespace tv
