// A template taken apart into text and "{Name}" tokens.
#include "common/template.h"

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
    size_t close = templ.find(u'}', open);
    if (close == std::u16string::npos) {
      parts.push_back({templ.substr(open), false, true});
      break;
    }
    parts.push_back({templ.substr(open, close - open + 1), true, false});
    i = close + 1;
  }
  return parts;
}

}  // namespace tvpack
