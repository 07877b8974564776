// Patience with brief locks: a file call that meets a lock another program holds (a
// virus scanner, an indexer) is tried again quietly for about a second before the
// boxes that ask the user.
#pragma once
#include <cstdint>

namespace tv {

constexpr uint32_t kQuietRetryMs = 1000;  // how long a lock is waited out
constexpr unsigned kQuietPauseMs = 50;    // the pause between two attempts

// True when a call that failed with the Windows error number error, elapsed_ms
// after its first attempt, is tried again without asking: a sharing or lock
// violation, within kQuietRetryMs.
bool retry_quietly(uint32_t error, uint32_t elapsed_ms);

// Calls attempt(context, &error) until it succeeds (true) or retry_quietly says
// no, pausing kQuietPauseMs between; true when it succeeded. attempt sets error to
// the Windows error number of its failure.
bool attempt_patiently(bool (*attempt)(void* context, uint32_t* error), void* context);

}  // namespace tv
