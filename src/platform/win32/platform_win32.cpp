// The real platform calls on Windows.
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>
#include <objbase.h>

#include "base/package_section.h"
#include "base/path_limit.h"
#include "platform/platform.h"
#include "base/resource_ids.h"
#include "base/shell_folders.h"

static_assert(sizeof(wchar_t) == 2, "UTF-16 wchar_t expected");

namespace tv {
namespace {

const wchar_t* w(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
HWND g_owner = nullptr;

}  // namespace

void set_owner_window(void* window) { g_owner = static_cast<HWND>(window); }
void* owner_window() { return g_owner; }

int show_message(const char16_t* text, const char16_t* caption, unsigned type) {
  return MessageBoxW(g_owner, w(text), w(caption), type);
}

bool create_directory(const char16_t* path) { return CreateDirectoryW(w(path), nullptr) != 0; }

bool path_exists(const char16_t* path) {
  return GetFileAttributesW(w(path)) != INVALID_FILE_ATTRIBUTES;
}

bool move_path(const char16_t* from, const char16_t* to) {
  return MoveFileW(w(from), w(to)) != 0;
}

bool remove_directory(const char16_t* path) { return RemoveDirectoryW(w(path)) != 0; }

uint32_t last_error() { return GetLastError(); }

uint32_t milliseconds() { return GetTickCount(); }

void pause_milliseconds(unsigned ms) { Sleep(ms); }

bool environment_value(const char16_t* name, char16_t* buf) {
  DWORD units = GetEnvironmentVariableW(w(name), reinterpret_cast<wchar_t*>(buf), MAX_PATH);
  return units != 0 && units < MAX_PATH;
}

// The directory (or file) opened for no access at all, which backup semantics allow
// for a directory, and its name as the system's own: "\\?\X:\..." or
// "\\?\UNC\server\share\...", made "X:\..." or "\\server\share\...".
bool final_path(const char16_t* path, char16_t* out) {
  HANDLE h = CreateFileW(w(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  wchar_t got[MAX_PATH + 8];
  DWORD units = GetFinalPathNameByHandleW(h, got, MAX_PATH + 8, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  if (units < 7 || units >= MAX_PATH + 8 || got[0] != L'\\' || got[2] != L'?') return false;
  bool unc = got[4] == L'U' && got[5] == L'N' && got[6] == L'C' && got[7] == L'\\';
  const wchar_t* from = got + (unc ? 7 : 4);
  DWORD at = 0;
  if (unc) out[at++] = u'\\';
  for (; *from != 0 && at + 1 < MAX_PATH; ++from) out[at++] = char16_t(*from);
  out[at] = 0;
  return *from == 0;
}

bool same_ignoring_case(const char16_t* a, const char16_t* b, size_t units) {
  return CompareStringOrdinal(w(a), int(units), w(b), int(units), TRUE) == CSTR_EQUAL;
}

// The system's own file calls: a handle is the file, with no stream buffer or
// runtime bookkeeping between the content and the disk. Created or truncated as the
// runtime's "wb" does (CREATE_ALWAYS), shared for reading and writing as its
// streams are.
OutputFile* open_for_write(const char16_t* path) {
  HANDLE h = CreateFileW(w(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<OutputFile*>(h);
}

bool write_file(OutputFile* file, const void* data, size_t size) {
  DWORD written = 0;
  return WriteFile(reinterpret_cast<HANDLE>(file), data, DWORD(size), &written, nullptr) &&
         written == size;
}

bool close_file(OutputFile* file) { return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0; }

bool special_folder_path(int csidl, char16_t* buf) {
  static_assert(kMaxPath == MAX_PATH, "the shell writes a path of MAX_PATH units into buf");
  bool ok = false;
  IMalloc* malloc_iface = nullptr;
  if (SUCCEEDED(SHGetMalloc(&malloc_iface))) {
    LPITEMIDLIST list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list))) {
      ok = SHGetPathFromIDListW(list, reinterpret_cast<wchar_t*>(buf)) != 0;
      malloc_iface->Free(list);
    }
    malloc_iface->Release();
  }
  return ok;
}

bool drive_exists(char16_t letter) {
  wchar_t root[4] = {wchar_t(letter), L':', L'\\', 0};
  return GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR;
}

// The base's numbers are the shell's.
static_assert(kCsidlDesktop == CSIDL_DESKTOP && kCsidlPrograms == CSIDL_PROGRAMS && kCsidlPersonal == CSIDL_PERSONAL &&
                  kCsidlFavorites == CSIDL_FAVORITES && kCsidlStartup == CSIDL_STARTUP && kCsidlSendTo == CSIDL_SENDTO &&
                  kCsidlStartMenu == CSIDL_STARTMENU && kCsidlMyMusic == CSIDL_MYMUSIC &&
                  kCsidlMyVideo == CSIDL_MYVIDEO && kCsidlDesktopDirectory == CSIDL_DESKTOPDIRECTORY &&
                  kCsidlFonts == CSIDL_FONTS && kCsidlTemplates == CSIDL_TEMPLATES &&
                  kCsidlCommonStartMenu == CSIDL_COMMON_STARTMENU && kCsidlCommonPrograms == CSIDL_COMMON_PROGRAMS &&
                  kCsidlCommonDesktopDirectory == CSIDL_COMMON_DESKTOPDIRECTORY && kCsidlAppData == CSIDL_APPDATA &&
                  kCsidlLocalAppData == CSIDL_LOCAL_APPDATA && kCsidlCommonAppData == CSIDL_COMMON_APPDATA &&
                  kCsidlWindows == CSIDL_WINDOWS && kCsidlSystem == CSIDL_SYSTEM &&
                  kCsidlProgramFiles == CSIDL_PROGRAM_FILES && kCsidlMyPictures == CSIDL_MYPICTURES &&
                  kCsidlProfile == CSIDL_PROFILE && kCsidlSystemX86 == CSIDL_SYSTEMX86 &&
                  kCsidlProgramFilesX86 == CSIDL_PROGRAM_FILESX86 &&
                  kCsidlProgramFilesCommon == CSIDL_PROGRAM_FILES_COMMON &&
                  kCsidlProgramFilesCommonX86 == CSIDL_PROGRAM_FILES_COMMONX86 &&
                  kCsidlCommonDocuments == CSIDL_COMMON_DOCUMENTS,
              "the shell folders' numbers");

// The shell's own folders: the CSIDL ones, then those only known folders name.
void list_own_folders(void (*each)(void* context, const char16_t* path), void* context) {
  for (unsigned char csidl : kOwnFolderCsidls) {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
      each(context, reinterpret_cast<const char16_t*>(path));
  }
  static const KNOWNFOLDERID* const kKnown[] = {&FOLDERID_Downloads, &FOLDERID_UserProfiles,
                                                &FOLDERID_Public};
  for (const KNOWNFOLDERID* id : kKnown) {
    wchar_t* path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(*id, 0, nullptr, &path)))
      each(context, reinterpret_cast<const char16_t*>(path));
    CoTaskMemFree(path);
  }
}

bool free_space(const char16_t* dir, uint64_t* bytes) {
  ULARGE_INTEGER available = {};
  if (!GetDiskFreeSpaceExW(w(dir), &available, nullptr, nullptr)) return false;
  *bytes = available.QuadPart;
  return true;
}

bool save_shortcut(const char16_t* link_path, const char16_t* target, const char16_t* args,
                   int show_cmd) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    link->Release();
    return false;
  }
  link->SetPath(w(target));
  link->SetShowCmd(show_cmd);
  if (args != nullptr && args[0] != 0) link->SetArguments(w(args));
  HRESULT hr = file->Save(w(link_path), TRUE);
  file->Release();
  link->Release();
  return SUCCEEDED(hr);
}

// Large pages need a privilege an installer does not hold, so there is nothing to ask.
void prepare_large_buffer(void*, size_t) {}

// The package is the ".tvpkg" section that the installer-maker appended to this
// executable; it is mapped with the image.
bool embedded_package(const uint8_t** blob, uint32_t* n, uint32_t* key) {
  const uint8_t* base = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr));
  if (!base) return false;
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  PackageView view;
  if (!find_package_in_image(base, nt->OptionalHeader.SizeOfImage, &view)) return false;
  *blob = view.blob;
  *n = view.n;
  *key = view.key;
  return true;
}

// Found in the program's own resources, whatever their language, and mapped with the
// image.
bool own_resource(OwnResource which, const uint8_t** data, size_t* size) {
  bool version = which == OwnResource::kVersionInfo;
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(version ? kVersionInfoId : kFolderNameId),
                              MAKEINTRESOURCEW(version ? kRtVersionType : kRtRcdataType));
  HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return false;
  *data = static_cast<const uint8_t*>(bytes);
  *size = SizeofResource(nullptr, found);
  return true;
}

}  // namespace tv
