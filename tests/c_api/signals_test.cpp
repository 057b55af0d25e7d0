// Signal handling installed by start-up: the report lines, the re-raise, and respect for a
// host's own handlers.
#include "c_api/signals.h"

#include <gtest/gtest.h>

#include <csignal>

#include "orvel.h"

using orvel::capi::signalLine;

TEST(Signals, Lines) {
  EXPECT_STREQ(signalLine(SIGINT), "SIGINT: Interrupted by Ctrl-C.");
  EXPECT_STREQ(signalLine(SIGILL), "SIGILL: Illegal operation.");
  EXPECT_STREQ(signalLine(SIGABRT), "SIGABRT: Abnormal termination.");
  EXPECT_STREQ(signalLine(SIGFPE), "SIGFPE: Arithmetic error.");
  EXPECT_STREQ(signalLine(SIGBUS), "SIGBUS: Illegal storage access. (Attempt to read from nil?)");
  EXPECT_STREQ(signalLine(SIGSEGV), "SIGSEGV: Illegal storage access. (Attempt to read from nil?)");
  EXPECT_STREQ(signalLine(SIGUSR1), "unknown signal");
}

namespace {

void raiseAfterInit(int signalNumber) {
  std::signal(signalNumber, SIG_DFL);
  ov_exif_init();
  std::raise(signalNumber);
}

volatile std::sig_atomic_t hostSaw = 0;
void hostHandler(int) { hostSaw = 1; }

}  // namespace

TEST(SignalsDeathTest, ReportsAndDiesOfTheSameSignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(raiseAfterInit(SIGABRT), ::testing::KilledBySignal(SIGABRT),
              "SIGABRT: Abnormal termination.\n");
  EXPECT_EXIT(raiseAfterInit(SIGINT), ::testing::KilledBySignal(SIGINT),
              "SIGINT: Interrupted by Ctrl-C.\n");
}

TEST(SignalsDeathTest, HostHandlersStayInPlace) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::signal(SIGINT, hostHandler);
        std::signal(SIGPIPE, hostHandler);
        ov_exif_init();
        std::raise(SIGINT);
        std::raise(SIGPIPE);
        std::exit(hostSaw == 1 ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(SignalsDeathTest, PipeIgnoredWhenDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::signal(SIGPIPE, SIG_DFL);
        ov_exif_init();
        std::raise(SIGPIPE);  // ignored: the process carries on
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}
