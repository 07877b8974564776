// The product's names in the installer's texts and folders, read from the installer's
// own resources (its version information and its folder-name resource), with the
// installer's own texts where they are absent or unfit.
#include <optional>
#include <string>
#include <vector>

#include "actions/files.h"
#include "actions/product_names.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"

namespace {

using tv::InstallOutcome;
using tvtest::Bytes;

const std::u16string kPromptHead = u"无法写入文件: ";
// The longest name the maker writes, with what a message box or a formatter could
// take for a mnemonic or a conversion.
const std::u16string kLongest = std::u16string(248, u'晨') + u"&&A%s%d%";

Bytes version_with_name(const std::u16string& name) {
  return tvtest::version_resource({{u"FileDescription", u"Talvenor 安装程序"}, {u"ProductName", name}});
}

Bytes units(const std::u16string& text) {
  Bytes b;
  for (char16_t c : text) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8)});
  return b;
}

void set_own(tv::OwnResource which, const std::optional<Bytes>& bytes) {
  tv::posix::clear_own_resources();
  if (bytes) tv::posix::set_own_resource(which, *bytes);
}

std::u16string prompt_for(const std::u16string& path) {
  char16_t out[tv::kPromptUnits];
  tv::build_write_prompt(out, path.c_str());
  return out;
}

class ProductNamesTest : public tvtest::InstallerTest {};

TEST_F(ProductNamesTest, TheTextsNameTheProductTheInstallerCarries) {
  Bytes stub = tvtest::version_resource({{u"FileDescription", u"Talvenor 安装程序"}, {u"ProductName", u"Talvenor"}});
  Bytes damaged = version_with_name(u"晨光笔记 DawnNotes");
  damaged.resize(damaged.size() / 2);  // its blocks claim more than is left
  struct Case {
    const char* what;
    std::optional<Bytes> version;
    std::u16string name;
  } cases[] = {
      {"no version information", std::nullopt, u"Talvenor"},
      {"the stub's own", stub, u"Talvenor"},
      {"a product's", version_with_name(u"晨光笔记 DawnNotes"), u"晨光笔记 DawnNotes"},
      {"& and %, as they are", version_with_name(u"A&B 100% %s"), u"A&B 100% %s"},
      {"the longest the maker allows", version_with_name(kLongest), kLongest},
      {"one unit longer", version_with_name(kLongest + u"x"), u"Talvenor"},
      {"an empty one", version_with_name(u""), u"Talvenor"},
      {"none in the table", tvtest::version_resource({{u"FileDescription", u"x"}}), u"Talvenor"},
      {"damaged version information", damaged, u"Talvenor"},
  };
  make_host_dir(u"D:\\Kesta");
  tv::posix::hold_path(u"D:\\Kesta", true);
  embed_script(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}}, {{u"{App}\\a.txt", "a"}}, u""));
  ASSERT_EQ(tv::load_package(), 1);
  const std::u16string path = u"D:\\DawnNotes\\DawnNotes.exe", long_path(1020, u'p');
  for (const Case& c : cases) {
    set_own(tv::OwnResource::kVersionInfo, c.version);
    std::u16string tail = u"\n请先关闭" + c.name + u"！";
    EXPECT_EQ(prompt_for(path), kPromptHead + path + tail) << c.what;
    // A path too long for the prompt is cut; the product's name never is.
    EXPECT_EQ(prompt_for(long_path), kPromptHead + long_path.substr(0, 1023 - 8 - tail.size()) + tail)
        << c.what;

    messages_.clear();
    EXPECT_EQ(tv::run_install_sequence(u"D:\\Kesta"), InstallOutcome::kOldVersionHeld) << c.what;
    ASSERT_EQ(messages_.size(), 1u) << c.what;
    EXPECT_EQ(messages_[0].text, u"重命名旧版本失败！请先关闭" + c.name + u"。") << c.what;
    EXPECT_EQ(messages_[0].caption, u"无法安装") << c.what;
  }
}

TEST_F(ProductNamesTest, TheFolderNameIsAddedWhenTheInstallerTakesIt) {
  struct Case {
    const char* what;
    std::optional<Bytes> resource;
    std::u16string name;  // "": the installer's own "\KESTA" and "D:\Kesta"
  } cases[] = {
      {"none", std::nullopt, u""},
      {"a product's", units(u"DawnNotes"), u"DawnNotes"},
      {"Chinese, & and %", units(u"晨光笔记 A&B 100%"), u"晨光笔记 A&B 100%"},
      {"with dots inside", units(u"Dawn.Notes 2"), u"Dawn.Notes 2"},
      {"the longest Windows keeps", units(std::u16string(255, u'n')), std::u16string(255, u'n')},
      {"one unit longer", units(std::u16string(256, u'n')), u""},
      {"empty", units(u""), u""},
      {"an odd size", Bytes{'D', 0, 'a'}, u""},
      {"a NUL inside", units(std::u16string(u"a\0b", 3)), u""},
      {"a backslash", units(u"Dawn\\Notes"), u""},
      {"a leading backslash", units(u"\\DawnNotes"), u""},
      {"a slash", units(u"Dawn/Notes"), u""},
      {"a drive", units(u"C:"), u""},
      {"a device", units(u"CON"), u""},
      {"a device with an extension", units(u"nul.txt"), u""},
      {"a port", units(u"COM1"), u""},
      {"a trailing dot", units(u"DawnNotes."), u""},
      {"a trailing space", units(u"DawnNotes "), u""},
      {"the folder itself", units(u"."), u""},
      {"the folder above", units(u".."), u""},
      {"a tab", units(u"Dawn\tNotes"), u""},
  };
  for (const char16_t* refused : {u"a*", u"a?", u"a|", u"a<", u"a>", u"a\""}) {
    set_own(tv::OwnResource::kFolderName, units(refused));
    char16_t suffix[tv::kFolderSuffixUnits];
    tv::browse_folder_suffix(suffix);
    EXPECT_EQ(std::u16string(suffix), u"\\KESTA") << tvtest::utf8(refused);
  }
  for (const Case& c : cases) {
    set_own(tv::OwnResource::kFolderName, c.resource);
    char16_t suffix[tv::kFolderSuffixUnits], folder[tv::kMaxPath], from_edit[tv::kMaxPath];
    tv::browse_folder_suffix(suffix);
    tv::default_install_folder(folder);
    tv::install_directory_from(u"\\\\", from_edit);
    EXPECT_EQ(std::u16string(suffix), c.name.empty() ? u"\\KESTA" : u"\\" + c.name) << c.what;
    EXPECT_EQ(std::u16string(folder), c.name.empty() ? u"D:\\Kesta" : u"D:\\" + c.name) << c.what;
    EXPECT_EQ(std::u16string(from_edit), std::u16string(folder)) << c.what;
  }
}

TEST_F(ProductNamesTest, APackageWithoutAppInstallsToTheProductsFolder) {
  tv::posix::set_own_resource(tv::OwnResource::kFolderName, units(u"DawnNotes"));
  embed_script(tvtest::make_script(1, {{u"{Note}", u"{App}\\n.txt"}}, {{u"{App}\\a.txt", "a"}}, u""));
  ASSERT_EQ(tv::load_package(), 1);
  EXPECT_EQ(tv::run_install_sequence(u""), InstallOutcome::kInstalled);
  EXPECT_EQ(read_host_file(u"D:\\DawnNotes\\a.txt"), "a");
  EXPECT_FALSE(host_exists(u"D:\\Kesta"));
}

}  // namespace
