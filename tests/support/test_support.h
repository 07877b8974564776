// Shared helpers for the unit tests: a temporary root for the stand-in platform,
// recorded message boxes, and packages made on the fly.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "package/writer.h"

namespace tvtest {

struct Message {
  std::u16string text;
  std::u16string caption;
  unsigned type;
};

// Resets all process-wide installer state (script, cursors, table, title and
// description, faults, the installer's own resources), points the stand-in at a fresh temporary root with drives
// C: and D:, and records every message box, answering with `answers` in order
// (then with the default: OK or Cancel).
class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Unpacks a blob made from script with the given key (default 0x2C7E13A5), after
  // forgetting the last script with the variables and title that pointed into it.
  bool load_script(const std::vector<uint8_t>& script, uint32_t key = 0x2C7E13A5u);
  // The same without unpacking: the package the installer then finds embedded.
  void embed_script(const std::vector<uint8_t>& script, uint32_t key = 0x2C7E13A5u);
  // Host path of a Windows path under the root.
  std::string host(const std::u16string& windows_path) const;
  bool host_exists(const std::u16string& windows_path) const;
  std::string read_host_file(const std::u16string& windows_path) const;
  void write_host_file(const std::u16string& windows_path, const std::string& content) const;
  void make_host_dir(const std::u16string& windows_path) const;

  std::string root_;
  std::vector<Message> messages_;
  std::vector<int> answers_;
  std::vector<uint8_t> blob_;
};

// A script: header, variables section, files section, shortcuts section.
struct FileEntry {
  std::u16string path;
  std::string content;
};
std::vector<uint8_t> make_script(int32_t version,
                                 const std::vector<std::pair<std::u16string, std::u16string>>& vars,
                                 const std::vector<FileEntry>& files,
                                 const std::u16string& shortcuts);

std::string utf8(const char16_t* s);

// Version resources (VS_VERSIONINFO) built block by block as resource compilers and
// the maker lay them out: length, value length, type, key, then the value and each
// child at the next 32-bit boundary.
using Bytes = std::vector<uint8_t>;
Bytes utf16z(const std::u16string& text);  // the units and a NUL, little-endian
Bytes version_block(const std::u16string& key, const Bytes& value, size_t value_length, int type,
                    const std::vector<Bytes>& children = {});
// A whole resource: a fixed part, one string table (080404B0) of these names and
// values, and the translation.
Bytes version_resource(const std::vector<std::pair<std::u16string, std::u16string>>& strings);

}  // namespace tvtest
