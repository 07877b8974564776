// Reading a file whole, with one error naming it for each way that fails.
#include "common/read_file.h"

#include <cerrno>
#include <fstream>
#include <limits>

#include "common/errors.h"

namespace fs = std::filesystem;

namespace tvpack {

std::vector<uint8_t> read_file(const fs::path& path) {
  std::error_code ec;
  errno = 0;
  if (!fs::exists(path, ec)) fail(path, "does not exist");
  if (!fs::is_regular_file(path, ec)) fail(path, "is not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot be read (" + system_reason("it cannot be opened") + ")");
  std::vector<uint8_t> data;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) fail(path, "cannot be read (its size cannot be told)");
  // A 32-bit maker cannot hold a file of 4 GiB or more (its size would be cut short).
  if (uint64_t(size) > std::numeric_limits<size_t>::max()) fail(path, "is too large to read into memory");
  data.resize(size_t(size));
  errno = 0;
  if (size > 0) in.read(reinterpret_cast<char*>(data.data()), size);
  if (!in) fail(path, "cannot be read (" + system_reason("it ended early") + ")");
  return data;
}

}  // namespace tvpack
