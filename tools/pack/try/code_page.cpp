// talvenor-pack try, the prefix's ANSI code page: Wine's shell links store a target and
// arguments in the ANSI code page (936 in the Chinese locale try runs in), so a
// character outside it reads back as '?'. That is Wine's loss, not the installer's.
#include "try/code_page.h"

#include <iconv.h>

#include "base/text16.h"

namespace tvpack {
namespace {

// Whether the code point (as UTF-8) has a character in code page 936.
bool in_code_page(const std::string& utf8) {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  if (cd == iconv_t(-1)) return true;  // no table here: nothing is explained away
  char out[16];
  char* in = const_cast<char*>(utf8.data());
  char* to = out;
  size_t in_left = utf8.size(), out_left = sizeof out;
  bool ok = iconv(cd, &in, &in_left, &to, &out_left) != size_t(-1) && in_left == 0;
  iconv_close(cd);
  return ok;
}

}  // namespace

bool wine_code_page_loss(const std::string& planned, const std::string& got) {
  std::u16string want = tv::utf8_to_u16(planned);
  bool lost = false;
  size_t at = 0;
  for (size_t i = 0; i < want.size();) {
    size_t units = (want[i] >= 0xD800 && want[i] < 0xDC00 && i + 1 < want.size()) ? 2 : 1;
    std::string ch = tv::u16_to_utf8(want.substr(i, units));
    i += units;
    if (in_code_page(ch)) {
      if (got.compare(at, ch.size(), ch) != 0) return false;
      at += ch.size();
      continue;
    }
    // One '?' per UTF-16 unit, as Wine's default character.
    if (got.compare(at, units, std::string(units, '?')) != 0) return false;
    at += units;
    lost = true;
  }
  return lost && at == got.size();
}

}  // namespace tvpack
