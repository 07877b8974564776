// talvenor-pack try, the texts a user cannot read whole, from the driver's fit lines.
#pragma once
#include <string>
#include <vector>

#include "try/run_record.h"

namespace tvpack {

// The cut texts among the driver's "fit id=ID class=CLASS fits=yes|no needed=WxH
// available=WxH text=TEXT" lines.
void find_cut_texts(const std::vector<std::string>& lines, const std::string& dialog, std::vector<CutText>* cut);

}  // namespace tvpack
