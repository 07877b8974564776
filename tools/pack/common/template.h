// A template of the install script taken apart as the installer's expansion takes it
// (base/template_token.h): text, and "{Name}" tokens.
#pragma once
#include <string>
#include <vector>

namespace tvpack {

struct TemplatePart {
  std::u16string text;    // the text, or the token with its braces
  bool variable = false;  // a "{Name}" token
  bool unclosed = false;  // a "{" with no "}" after it: the rest of the template, and the last part
};

std::vector<TemplatePart> template_parts(const std::u16string& templ);

}  // namespace tvpack
