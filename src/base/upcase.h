// Names compared as Windows' file systems compare them: each UTF-16 unit replaced by its
// simple uppercase (their case table, upcase_table.h), so "Ä.txt" and "ä.txt" are one
// name and "ß" and "SS" are two. The maker's rule and the stand-in platform's; the
// shipped installer asks the system (platform/platform.h).
#pragma once

namespace tv {

char16_t upcase_unit(char16_t c);

}  // namespace tv
