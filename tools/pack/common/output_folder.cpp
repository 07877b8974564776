// The folder of an output file, made before any work.
#include "common/output_folder.h"

#include "common/errors.h"

namespace fs = std::filesystem;

namespace tvpack {

void make_output_folder(const fs::path& file) {
  fs::path folder = file.parent_path();
  if (folder.empty()) return;  // the current folder
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder))
    fail(file, "cannot be written: its folder " + quote(show_path(folder)) + " cannot be made (" +
                   (ec ? ec.message() : std::string("it is no folder")) + ")");
}

}  // namespace tvpack
