// The install sequence on the real Windows platform: the real file system, real
// message boxes answered by a watcher thread, and real shell links.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "install/install.h"
#include "package/container.h"
#include "package/script.h"
#include "package/writer.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

const std::wstring kOld = L"_\u65E7\u7248\u672C";  // _旧版本

const char16_t* u(const std::wstring& s) { return reinterpret_cast<const char16_t*>(s.c_str()); }
std::u16string u16(const std::wstring& s) { return std::u16string(u(s)); }

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string read_file(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out(4096, '\0');
  DWORD got = 0;
  ReadFile(h, &out[0], DWORD(out.size()), &got, nullptr);
  CloseHandle(h);
  out.resize(got);
  return out;
}

// Removes a folder this test made, and what is in it; links are not followed.
void remove_tree(const std::wstring& dir) {
  if (dir.find(L"\\tvinstall-") == std::wstring::npos &&
      dir.find(L"\\Talvenor Test ") == std::wstring::npos)
    return;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = dir + L"\\" + name;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        remove_tree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

// Answers this process's message boxes as they come up: records each box's text
// and caption, runs before_answer, and clicks the next button of `answers`.
class BoxWatcher {
 public:
  struct Box {
    std::wstring text, caption;
  };
  BoxWatcher(std::vector<int> answers, std::function<void()> before_answer = {})
      : answers_(std::move(answers)), before_answer_(std::move(before_answer)) {
    thread_ = std::thread([this] { run(); });
  }
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<Box> boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }

 private:
  static BOOL CALLBACK find_box(HWND hwnd, LPARAM out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd)) {
      *reinterpret_cast<HWND*>(out) = hwnd;
      return FALSE;
    }
    return TRUE;
  }
  // The message text is the box's static control that holds text (not the icon).
  static BOOL CALLBACK find_text(HWND child, LPARAM out) {
    wchar_t cls[16] = {}, text[2048] = {};
    GetClassNameW(child, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0 && GetWindowTextW(child, text, 2048) > 0) {
      *reinterpret_cast<std::wstring*>(out) = text;
      return FALSE;
    }
    return TRUE;
  }
  void run() {
    size_t next = 0;
    while (!stop_) {
      HWND box = nullptr;
      EnumWindows(find_box, reinterpret_cast<LPARAM>(&box));
      if (box == nullptr) {
        Sleep(50);
        continue;
      }
      Sleep(100);  // let the box finish drawing its controls
      Box seen;
      wchar_t caption[256] = {};
      GetWindowTextW(box, caption, 256);
      seen.caption = caption;
      EnumChildWindows(box, find_text, reinterpret_cast<LPARAM>(&seen.text));
      {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(seen);
      }
      if (before_answer_) before_answer_();
      int answer = next < answers_.size() ? answers_[next++] : IDCANCEL;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
      for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(50);
    }
  }

  std::vector<int> answers_;
  std::function<void()> before_answer_;
  std::vector<Box> boxes_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class InstallWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static int serial = 0;
    dir_ = std::wstring(temp) + L"tvinstall-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial);
    ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
    app_ = dir_ + L"\\Kesta";
    tv::clear_variable_table();
    tv::clear_title_and_description();
    tv::clear_damage_reason();
  }
  void TearDown() override {
    remove_tree(dir_);
    CoUninitialize();
  }

  // Loads a package from a stored blob as the installer does on start-up.
  void load(const std::vector<std::pair<std::wstring, std::string>>& files,
            const std::wstring& shortcuts) {
    tv::ScriptWriter s;
    s.put_int(1);
    s.put_int(2);
    s.put_string(u"{App}");
    s.put_string(u16(app_));
    s.put_string(u"{Bin}");
    s.put_string(u"{App}\\bin");
    s.put_int(int32_t(files.size()));
    for (const auto& f : files) {
      s.put_string(u16(f.first));
      s.put_int(int32_t(f.second.size()));
      s.put_bytes(f.second.data(), f.second.size());
    }
    s.put_string(u16(shortcuts));
    std::vector<uint8_t> container = tv::make_container(s.bytes());
    blob_ = tv::make_blob(container, 0x5A17C0DEu);
    ASSERT_EQ(tv::unpack_blob(blob_.data(), uint32_t(container.size()), 0x5A17C0DEu),
              tv::UnpackError::kOk);
    tv::set_folder_variables();
    tv::rewind_script_cursor();
    ASSERT_EQ(tv::check_script_version(), 1);
    tv::saved_cursor() = tv::script_cursor();
    ASSERT_EQ(tv::read_variables_section(tv::script_cursor(), 0), 1);
  }

  std::wstring dir_, app_;
  std::vector<uint8_t> blob_;
};

TEST_F(InstallWineTest, OldVersionMovesToTheFirstFreeNumber) {
  ASSERT_TRUE(CreateDirectoryW(app_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((app_ + kOld + L"1").c_str(), nullptr));
  HANDLE h = CreateFileW((app_ + L"\\old.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  load({{L"{Bin}\\talvenor.exe", "exe"}}, L"");
  EXPECT_EQ(tv::run_install_sequence(u(app_)), tv::InstallOutcome::kInstalled);
  EXPECT_TRUE(exists(app_ + kOld + L"2\\old.txt"));
  EXPECT_FALSE(exists(app_ + kOld + L"1\\old.txt"));
  EXPECT_FALSE(exists(app_ + L"\\old.txt"));
  EXPECT_EQ(read_file(app_ + L"\\bin\\talvenor.exe"), "exe");
}

TEST_F(InstallWineTest, HeldOldVersionIsReportedAndNothingMoves) {
  ASSERT_TRUE(CreateDirectoryW(app_.c_str(), nullptr));
  HANDLE held = CreateFileW(app_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  load({{L"{Bin}\\talvenor.exe", "exe"}}, L"");
  std::vector<BoxWatcher::Box> boxes;
  {
    BoxWatcher watcher({IDOK});
    EXPECT_EQ(tv::run_install_sequence(u(app_)), tv::InstallOutcome::kOldVersionHeld);
    boxes = watcher.boxes();
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"\u91CD\u547D\u540D\u65E7\u7248\u672C\u5931\u8D25\uFF01"
                           L"\u8BF7\u5148\u5173\u95EDTalvenor\u3002");
  EXPECT_EQ(boxes[0].caption, L"\u65E0\u6CD5\u5B89\u88C5");
  EXPECT_FALSE(exists(app_ + kOld + L"1"));
  EXPECT_FALSE(exists(app_ + L"\\bin"));

  CloseHandle(held);
  EXPECT_EQ(tv::run_install_sequence(u(app_)), tv::InstallOutcome::kInstalled);
  EXPECT_TRUE(exists(app_ + kOld + L"1"));
  EXPECT_EQ(read_file(app_ + L"\\bin\\talvenor.exe"), "exe");
}

TEST_F(InstallWineTest, HeldFileIsWrittenAfterReleaseAndRetry) {
  // A file outside the install directory (which would be moved aside), held open
  // without sharing as a running program holds its files.
  std::wstring shared = dir_ + L"\\Shared";
  std::wstring file = shared + L"\\talvenor.dll";
  ASSERT_TRUE(CreateDirectoryW(shared.c_str(), nullptr));
  HANDLE held = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DWORD wrote = 0;
  WriteFile(held, "older and longer", 16, &wrote, nullptr);
  load({{L"{App}\\readme.txt", "hi"}, {file, "new"}, {L"{Bin}\\after.txt", "after"}}, L"");
  std::vector<BoxWatcher::Box> boxes;
  {
    BoxWatcher watcher({IDRETRY}, [&] { CloseHandle(held); });
    EXPECT_EQ(tv::run_install_sequence(u(app_)), tv::InstallOutcome::kInstalled);
    boxes = watcher.boxes();
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"\u65E0\u6CD5\u5199\u5165\u6587\u4EF6: " + file +
                               L"\n\u8BF7\u5148\u5173\u95EDTalvenor\uFF01");
  EXPECT_EQ(boxes[0].caption, L"\u5B89\u88C5\u51FA\u9519");
  EXPECT_EQ(read_file(file), "new");
  EXPECT_EQ(read_file(app_ + L"\\bin\\after.txt"), "after");
}

// A shell link read back through the shell.
struct Link {
  std::wstring path, args;
  int show = -1;
};
Link read_link(const std::wstring& file) {
  Link out;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return out;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
      wchar_t buf[MAX_PATH] = {};
      if (SUCCEEDED(link->GetPath(buf, MAX_PATH, nullptr, 0))) out.path = buf;
      buf[0] = 0;
      if (SUCCEEDED(link->GetArguments(buf, MAX_PATH))) out.args = buf;
      link->GetShowCmd(&out.show);
    }
    persist->Release();
  }
  link->Release();
  return out;
}

std::wstring shell_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

TEST_F(InstallWineTest, ShortcutsOnTheDesktopAndInAProgramsGroup) {
  std::wstring group = L"Talvenor Test " + std::to_wstring(GetCurrentProcessId());
  std::wstring desktop_link = shell_folder(CSIDL_DESKTOPDIRECTORY) + L"\\" + group + L".lnk";
  std::wstring group_dir = shell_folder(CSIDL_PROGRAMS) + L"\\" + group;
  load({{L"{Bin}\\talvenor.exe", "exe"}, {L"{App}\\uninstall.exe", "un"}},
       L"icon\n{Bin}\\talvenor.exe\n\n{Desktop}\\" + group + L"\n"
       L"icon\n{App}\\uninstall.exe\n/dir \"{App}\"\n{Programs}\\" + group + L"\\\u5378\u8F7D");
  EXPECT_EQ(tv::run_install_sequence(u(app_)), tv::InstallOutcome::kInstalled);

  Link desktop = read_link(desktop_link);
  EXPECT_EQ(desktop.path, app_ + L"\\bin\\talvenor.exe");
  EXPECT_EQ(desktop.args, L"");
  EXPECT_EQ(desktop.show, SW_SHOWNORMAL);
  Link uninstall = read_link(group_dir + L"\\\u5378\u8F7D.lnk");
  EXPECT_EQ(uninstall.path, app_ + L"\\uninstall.exe");
  EXPECT_EQ(uninstall.args, L"/dir \"" + app_ + L"\"");
  EXPECT_EQ(uninstall.show, SW_SHOWNORMAL);

  DeleteFileW(desktop_link.c_str());
  remove_tree(group_dir);
}

}  // namespace
