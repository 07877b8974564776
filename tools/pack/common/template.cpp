// A template taken apart into text and "{Name}" tokens, by the installer's own token rule.
#include "common/template.h"

#include "base/template_token.h"

namespace tvpack {

std::vector<TemplatePart> template_parts(const std::u16string& templ) {
  std::vector<TemplatePart> parts;
  for (size_t i = 0; i < templ.size();) {
    size_t open = templ.find(u'{', i);
    if (open != i) {
      size_t end = open == std::u16string::npos ? templ.size() : open;
      parts.push_back({templ.substr(i, end - i), false, false});
      i = end;
      continue;
    }
    size_t length = tv::token_length(templ.c_str(), open);
    if (length == 0) {
      parts.push_back({templ.substr(open), false, true});
      break;
    }
    parts.push_back({templ.substr(open, length), true, false});
    i = open + length;
  }
  return parts;
}

}  // namespace tvpack
