#include "c_api/signals.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace orvel::capi {
namespace {

constexpr int kReportedSignals[] = {SIGINT, SIGSEGV, SIGABRT, SIGFPE, SIGILL, SIGBUS};

// Async-signal-safe: one write of a static text, then the default action again.
void reportAndReraise(int signalNumber) {
  const char* line = signalLine(signalNumber);
  char buffer[96];
  std::size_t length = std::strlen(line);
  std::memcpy(buffer, line, length);
  buffer[length] = '\n';
  ssize_t ignored = ::write(STDERR_FILENO, buffer, length + 1);
  (void)ignored;
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

// A host's interpreter or crash reporter may already own the signal: leave it in place.
bool stillDefault(int signalNumber) {
  struct sigaction current {};
  if (::sigaction(signalNumber, nullptr, &current) != 0) return false;
  return (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
}

void setDisposition(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

const char* signalLine(int signalNumber) noexcept {
  switch (signalNumber) {
    case SIGINT: return "SIGINT: Interrupted by Ctrl-C.";
    case SIGILL: return "SIGILL: Illegal operation.";
    case SIGABRT: return "SIGABRT: Abnormal termination.";
    case SIGFPE: return "SIGFPE: Arithmetic error.";
    case SIGBUS: return "SIGBUS: Illegal storage access. (Attempt to read from nil?)";
    case SIGSEGV: return "SIGSEGV: Illegal storage access. (Attempt to read from nil?)";
    default: return "unknown signal";
  }
}

void installSignalHandlers() noexcept {
  for (int signalNumber : kReportedSignals) {
    if (stillDefault(signalNumber)) setDisposition(signalNumber, reportAndReraise);
  }
  if (stillDefault(SIGPIPE)) setDisposition(SIGPIPE, SIG_IGN);
}

}  // namespace orvel::capi
