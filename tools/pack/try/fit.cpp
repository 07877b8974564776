// talvenor-pack try, the texts a user cannot read whole: the driver's fit lines of a
// dialog, each text measured in its control's font against the control's size.
#include <cstdlib>

#include "line_escape.h"
#include "try/fit.h"

namespace tvpack {
namespace {

// The value of " key=" in line up to the next space ("" when there is none).
std::string word_after(const std::string& line, const std::string& key) {
  size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return "";
  at += key.size() + 2;
  return line.substr(at, line.find(' ', at) - at);
}

}  // namespace

void find_cut_texts(const std::vector<std::string>& lines, const std::string& dialog, std::vector<CutText>* cut) {
  const std::string lead = "fit ", text_key = " text=";
  for (const std::string& line : lines) {
    if (line.compare(0, lead.size(), lead) != 0 || word_after(line, "fits") != "no") continue;
    // The text is last and may hold anything, so the fields are read before it.
    size_t text = line.find(text_key);
    std::string fields = " " + line.substr(lead.size(), text == std::string::npos ? std::string::npos
                                                                                  : text - lead.size());
    CutText c;
    c.dialog = dialog;
    c.id = std::atoi(word_after(fields, "id").c_str());
    c.needed = word_after(fields, "needed");
    c.available = word_after(fields, "available");
    if (text != std::string::npos) c.text = tv::unescape_line(line.substr(text + text_key.size()));
    cut->push_back(c);
  }
}

}  // namespace tvpack
