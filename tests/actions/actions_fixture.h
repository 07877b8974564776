// The install actions' tests start as the installer does: the package loaded and
// its variables section read, the script cursor at the files section.
#pragma once
#include <functional>

#include "package/script.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"
#include "variables/section.h"

namespace tvtest {

class ActionsTest : public InstallerTest {
 protected:
  void start(const std::vector<uint8_t>& script) {
    ASSERT_TRUE(load_script(script));
    tv::set_folder_variables();
    tv::rewind_script_cursor();
    ASSERT_EQ(tv::check_script_version(), 1);
    ASSERT_EQ(tv::read_variables_section(tv::script_cursor(), 0), 1);
  }
  // Where the script cursor is, in bytes from the script's start.
  size_t offset() const { return size_t(tv::script_cursor().pos - tv::script_start()); }
  // Message boxes are recorded and answered by answer.
  void respond(std::function<int(const Message&)> answer) {
    tv::posix::set_responder([this, answer](const std::u16string& text,
                                            const std::u16string& caption, unsigned type) {
      messages_.push_back({text, caption, type});
      return answer(messages_.back());
    });
  }
  bool is_damage_report(const Message& m) const {
    return m.text == u"安装文件已损坏!" && m.caption == u"安装失败" && m.type == 0x10;
  }
};

}  // namespace tvtest
