// Crash and interrupt reporting for hosts that leave those signals at their defaults.
#pragma once

namespace orvel::capi {

// The line written for a signal (without its newline); "unknown signal" for others.
const char* signalLine(int signalNumber) noexcept;

// Installs the reporting handler for SIGINT, SIGSEGV, SIGABRT, SIGFPE, SIGILL and SIGBUS, and
// ignores SIGPIPE, each only where the host has not chosen a disposition of its own.
void installSignalHandlers() noexcept;

}  // namespace orvel::capi
