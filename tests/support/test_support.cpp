#include "support/test_support.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "package/container.h"
#include "package/script.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "base/text16.h"
#include "variables/section.h"
#include "variables/table.h"

#ifdef _WIN32
#include <direct.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace tvtest {
namespace {

bool make_dir(const std::string& p) {
#ifdef _WIN32
  std::u16string u = tv::utf8_to_u16(p);
  return _wmkdir(std::wstring(u.begin(), u.end()).c_str()) == 0;
#else
  return mkdir(p.c_str(), 0777) == 0;
#endif
}

// A folder of its own for each test: never one left by an earlier test or run.
std::string make_temp_root() {
  static int serial = 0;
  const char* base = std::getenv("TMPDIR");
#ifdef _WIN32
  if (!base) base = std::getenv("TEMP");
#endif
  std::string dir;
  for (int tries = 0; tries < 10000; ++tries) {
    dir = std::string(base ? base : "/tmp") + "/tvtest-" +
          std::to_string(static_cast<long>(getpid())) + "-" + std::to_string(++serial);
    if (make_dir(dir)) break;
  }
  return dir;
}

// Removes a test root and everything in it. Only exact paths are built (no shell, no
// truncation at MAX_PATH), links are removed rather than followed, and nothing but a
// folder this file made is ever removed.
void remove_tree(const std::string& dir) {
  if (dir.find("/tvtest-") == std::string::npos) return;
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::u8path(dir), error);
}

}  // namespace

std::string utf8(const char16_t* s) { return tv::u16_to_utf8(s); }

void InstallerTest::SetUp() {
  root_ = make_temp_root();
  make_dir(root_ + "/C");
  make_dir(root_ + "/D");
  make_dir(root_ + "/cwd");
  tv::posix::set_root(root_);
  tv::posix::clear_faults();
  tv::posix::clear_own_resources();
  tv::posix::reset_special_folders();
  tv::posix::set_embedded_package(nullptr, 0, 0);
  tv::posix::set_responder([this](const std::u16string& text, const std::u16string& caption,
                                  unsigned type) -> int {
    messages_.push_back({text, caption, type});
    if (!answers_.empty()) {
      int a = answers_.front();
      answers_.erase(answers_.begin());
      return a;
    }
    return (type & 0xF) == tv::kMbOk ? tv::kIdOk : tv::kIdCancel;
  });
  tv::clear_variable_table();
  tv::free_script();
  tv::clear_title_and_description();
  tv::clear_damage_reason();
}

void InstallerTest::TearDown() {
  tv::clear_variable_table();
  tv::free_script();
  tv::posix::set_responder(nullptr);
  tv::posix::set_embedded_package(nullptr, 0, 0);
  tv::posix::clear_faults();
  tv::posix::clear_own_resources();
  tv::posix::set_root("");
  remove_tree(root_);
}

void InstallerTest::embed_script(const std::vector<uint8_t>& script, uint32_t key) {
  // A test that loads again has done with the last script, and with the variables
  // and title whose text lived in it.
  tv::clear_variable_table();
  tv::clear_title_and_description();
  tv::free_script();
  std::vector<uint8_t> container = tv::make_container(script);
  blob_ = tv::make_blob(container, key);
  tv::posix::set_embedded_package(blob_.data(), static_cast<uint32_t>(container.size()), key);
}

bool InstallerTest::load_script(const std::vector<uint8_t>& script, uint32_t key) {
  embed_script(script, key);
  return tv::unpack() == 1;
}

std::string InstallerTest::host(const std::u16string& windows_path) const {
  return tv::posix::host_path(windows_path.c_str());
}

bool InstallerTest::host_exists(const std::u16string& windows_path) const {
  return tv::path_exists(windows_path.c_str());
}

std::string InstallerTest::read_host_file(const std::u16string& windows_path) const {
  std::ifstream in(host(windows_path), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void InstallerTest::write_host_file(const std::u16string& windows_path,
                                    const std::string& content) const {
  std::ofstream out(host(windows_path), std::ios::binary);
  out << content;
}

void InstallerTest::make_host_dir(const std::u16string& windows_path) const {
  make_dir(host(windows_path));
}

std::vector<uint8_t> make_script(int32_t version,
                                 const std::vector<std::pair<std::u16string, std::u16string>>& vars,
                                 const std::vector<FileEntry>& files,
                                 const std::u16string& shortcuts) {
  tv::ScriptWriter w;
  w.put_int(version);
  w.put_int(static_cast<int32_t>(vars.size()));
  for (const auto& v : vars) {
    w.put_string(v.first);
    w.put_string(v.second);
  }
  w.put_int(static_cast<int32_t>(files.size()));
  for (const auto& f : files) {
    w.put_string(f.path);
    w.put_int(static_cast<int32_t>(f.content.size()));
    w.put_bytes(f.content.data(), f.content.size());
  }
  w.put_string(shortcuts);
  return w.bytes();
}

Bytes utf16z(const std::u16string& text) {
  Bytes b;
  for (char16_t c : text + u'\0') b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8)});
  return b;
}

Bytes version_block(const std::u16string& key, const Bytes& value, size_t value_length, int type,
                    const std::vector<Bytes>& children) {
  Bytes b = {0, 0, uint8_t(value_length), uint8_t(value_length >> 8), uint8_t(type), 0};
  Bytes k = utf16z(key);
  b.insert(b.end(), k.begin(), k.end());
  std::vector<Bytes> parts = {value};
  parts.insert(parts.end(), children.begin(), children.end());
  for (const Bytes& part : parts) {
    while (b.size() % 4) b.push_back(0);
    b.insert(b.end(), part.begin(), part.end());
  }
  b[0] = uint8_t(b.size());
  b[1] = uint8_t(b.size() >> 8);
  return b;
}

Bytes version_resource(const std::vector<std::pair<std::u16string, std::u16string>>& strings) {
  std::vector<Bytes> values;
  for (const auto& s : strings) values.push_back(version_block(s.first, utf16z(s.second), s.second.size() + 1, 1));
  Bytes table = version_block(u"080404B0", {}, 0, 1, values);
  Bytes translation = version_block(u"VarFileInfo", {}, 0, 1, {version_block(u"Translation", {4, 8, 0xB0, 4}, 4, 0)});
  return version_block(u"VS_VERSION_INFO", Bytes(52, 0xEE), 52, 0,
                       {version_block(u"StringFileInfo", {}, 0, 1, {table}), translation});
}

}  // namespace tvtest
