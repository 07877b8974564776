// The package's size against the installer's ceilings and the maker's own.
#include "assemble/package_size.h"

#include "common/errors.h"
#include "common/limits.h"
#include "session/installer_limits.h"

namespace tvpack {
namespace {

std::string mib(uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; }

// A limit as people say it: "1.5 GiB", "512 MiB".
std::string limit_name(uint64_t limit) {
  const uint64_t half_gib = 1ull << 29;
  if (limit < 2 * half_gib || limit % half_gib != 0) return mib(limit);
  return std::to_string(limit >> 30) + (limit % (2 * half_gib) != 0 ? ".5" : "") + " GiB";
}

// "1234567 bytes (2 MiB) over the limit of 1.5 GiB (1610612736 bytes)"
std::string over(uint64_t value, uint64_t limit) {
  uint64_t by = value - limit;
  return std::to_string(by) + " bytes" + (by >= (1u << 20) ? " (" + mib(by) + ")" : std::string()) +
         " over the limit of " + limit_name(limit) + " (" + std::to_string(limit) + " bytes)";
}

std::string both_ceilings() {
  return "; an installer holds at most " + limit_name(kMaxScriptSize) + " of install script and " +
         limit_name(kMaxStoredBlob) + " of stored package (twice the compressed container), so about " +
         mib(kMaxStoredBlob / 2) + " of files that do not compress";
}

}  // namespace

std::string script_size_problem(uint64_t u, unsigned pointer_bytes) {
  if (u > kMaxScriptSize)
    return "the install script would be " + std::to_string(u) + " bytes, " + over(u, kMaxScriptSize) + both_ceilings();
  if (pointer_bytes < 8 && u > kMaxScriptSize32BitMaker)
    return "the install script would be " + std::to_string(u) + " bytes, " +
           over(u, kMaxScriptSize32BitMaker) +
           " that this 32-bit maker can hold; the 64-bit maker (talvenor-pack.exe of the Windows download, "
           "or the Linux maker) takes up to " + limit_name(kMaxScriptSize);
  return "";
}

std::string package_size_problem(uint64_t n) {
  if (2 * n <= kMaxStoredBlob) return "";
  return "the stored package would be " + std::to_string(2 * n) + " bytes (twice the " + std::to_string(n) +
         "-byte compressed container), " + over(2 * n, kMaxStoredBlob) + both_ceilings();
}

std::string needs_64bit_windows(uint64_t n, uint64_t u) {
  if (2 * n + u <= kMax32BitWindows) return "";
  return said(Said::kNote, "this installer needs 64-bit Windows: it holds " + mib(2 * n + u) +
                               " (twice the container plus the install script), more than the " +
                               limit_name(kMax32BitWindows) + " that 32-bit Windows leaves it");
}

}  // namespace tvpack
