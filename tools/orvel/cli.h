// Shared conventions of the orvel commands.
#pragma once

namespace orvel_cli {

// Exit codes: 0 success, 1 a lookup found nothing, 2 bad usage or an unreadable input.
inline constexpr int kNotFound = 1;
inline constexpr int kUsageError = 2;

}  // namespace orvel_cli
