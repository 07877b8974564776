// The characters no Windows file or folder name may hold: one rule for the installer
// and the maker.
#pragma once

namespace tv {

// A unit that no file or folder name may hold: a control character or one of <>:"|?*.
inline bool forbidden_in_name(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
         c == u'*';
}

}  // namespace tv
