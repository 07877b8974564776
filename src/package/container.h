// The package container: the stored blob carried by the installer, turned into
// the install script (de-interleave, unscramble, zlib-decompress).
#pragma once
#include <cstdint>

#include "base/progress_sink.h"

namespace tv {

// Why a container was refused (kOk when it was not); kStopped: stop_unpacking was
// called while it was unpacked.
enum class UnpackError { kOk, kNoPackage, kTooShort, kBadTrailer, kNoMemory, kBadStream, kStopped };

// The longest install script the installer unpacks: one byte short of 2 GiB, so that
// every size and distance inside the script fits a signed 32-bit number, on 32-bit
// Windows too. A package that needs a larger buffer counts as one whose buffer could
// not be allocated.
constexpr uint32_t kMostScriptBytes = 0x7FFFFFFEu;

// Unpacks the installer's own package into the install script (script_start /
// script_length of the script stream). Progress (null: none) is reported as the
// script is inflated, the bytes inflated of the script's length, and kProgressFull
// once unpacking is over, whatever its outcome, before any message. Shows the
// damaged-package message on failure, except when it was stopped. Returns 1 or 0.
int unpack(const ProgressSink* sink = nullptr);

// The same from an explicit blob, n and key, without any message or the full report.
UnpackError unpack_blob(const uint8_t* blob, uint32_t n, uint32_t key,
                        const ProgressSink* sink = nullptr);

// Asks the unpacking under way to stop (from inside its progress report: the user
// closed the window that shows it). It stops after that report, frees what it
// allocated and returns kStopped.
void stop_unpacking();

// One line of English text for an error (for tools).
const char* describe_unpack_error(UnpackError error);

// The reverse of the scrambling, in place on a container of n bytes (XOR is its own
// inverse, so the maker scrambles with the same call).
void scramble_container(uint8_t* container, uint32_t n, uint32_t key);

}  // namespace tv
