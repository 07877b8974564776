// What a failed file call's Windows error number tells the installer: no right to
// write, media that cannot be written, a drive not ready, or a lock someone holds.
#pragma once
#include <cstdint>

namespace tv {

// The Windows error numbers the installer tells apart (the stand-in reports them too).
enum : uint32_t {
  kErrorAccessDenied = 5,
  kErrorWriteProtect = 19,
  kErrorNotReady = 21,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorNetworkAccessDenied = 65,
  kErrorAlreadyExists = 183,
};

enum class FileError {
  kOther,     // anything else: the install goes on and meets it where it did before
  kDenied,    // the user may not write there
  kReadOnly,  // write-protected media, a read-only share or volume
  kNotReady,  // a drive without its medium
  kLocked,    // another program holds the file or a part of it, often briefly
};

constexpr FileError classify_file_error(uint32_t error) {
  return error == kErrorAccessDenied || error == kErrorNetworkAccessDenied ? FileError::kDenied
         : error == kErrorWriteProtect                                     ? FileError::kReadOnly
         : error == kErrorNotReady                                         ? FileError::kNotReady
         : error == kErrorSharingViolation || error == kErrorLockViolation ? FileError::kLocked
                                                                           : FileError::kOther;
}

}  // namespace tv
