// Every network and teardown operation failing, alone and in every combination, at every point
// of the feed loop: the run always prints its lines in order, reaches the final wait once and
// ends with 0. (The driver's early failures are covered by the early-end cases of the run.)
#include <gtest/gtest.h>

#include <string>

#include "feeder/run.h"
#include "tests/feeder/scripted_platform.h"

namespace joywire::testing {
namespace {

enum Fault : unsigned {
  kStartupFails = 1u << 0,
  kSocketFails = 1u << 1,
  kBindFails = 1u << 2,
  kRestUpdateFails = 1u << 3,
  kReacquireFails = 1u << 4,
  kCloseFails = 1u << 5,
  kCleanupFails = 1u << 6,
  kAllFaults = (1u << 7) - 1,
};

struct LoopEnd {
  const char* name;
  int datagramsBeforeEnd;  // good datagrams fed before the loop ends
  bool byUpdate;           // the loop ends by a failed update rather than a failed receive
};

constexpr int kErrorCode = 10050;

std::string ExpectedAfterAddress(unsigned faults, const LoopEnd& end) {
  std::string out;
  out += (faults & kStartupFails) ? "WSAStartUp Fun Failed!\n" : "WSAStartUp Success\n";
  out +=
      (faults & kSocketFails) ? "Socket3 reation Failed = 10050\n" : "Socket3 Creation Success\n";
  if (faults & kBindFails) {
    out += "Binding Failed & Error No ->10050\n";
  }
  out += "init complete\n";
  out += end.byUpdate
             ? "Feeding vJoy device number 1 failed - try to enable device then press enter\n"
             : "Receiving failed & Error No ->10050\n";
  out += (faults & kCloseFails) ? "Socket3 Closing failed & Error No ->10050\n"
                                : "Socket3 Closing Success\n";
  out += (faults & kCleanupFails) ? "WSA Cleanup Failed\n" : "WSA Cleanup Success\n";
  return out;
}

TEST(FaultInjection, EveryCombinationEndsWithTheTeardownLinesAndItsStatus) {
  const LoopEnd ends[] = {{"receive fails at once", 0, false},
                          {"receive fails after one datagram", 1, false},
                          {"receive fails after three datagrams", 3, false},
                          {"first datagram's update fails", 1, true},
                          {"third datagram's update fails", 3, true}};
  int runs = 0;
  for (unsigned faults = 0; faults <= kAllFaults; ++faults) {
    for (const LoopEnd& end : ends) {
      const Platform platform = MakeScriptedPlatform();
      Script& script = CurrentScript();
      script.lastError = kErrorCode;
      script.startupResult = (faults & kStartupFails) ? 10091 : 0;
      script.socketResult = (faults & kSocketFails) ? kInvalidSocket : 3;
      script.bindResult = (faults & kBindFails) ? kSocketError : 0;
      script.closeResult = (faults & kCloseFails) ? kSocketError : 0;
      script.cleanupResult = (faults & kCleanupFails) ? kSocketError : 0;
      script.acquireResults = {1, (faults & kReacquireFails) ? 0 : 1};
      for (int i = 0; i < end.datagramsBeforeEnd; ++i) {
        script.receives.push_back({20, Datagram(0.25f * i, 0, 0, 1, 0)});
      }
      if (!end.byUpdate) {
        script.receives.push_back({kSocketError, {}});
      }
      // Updates are counted with the rest position first.
      const int okUpdates = end.byUpdate ? end.datagramsBeforeEnd : end.datagramsBeforeEnd + 1;
      script.updatesBeforeFailure = okUpdates;
      // The rest position's result is ignored: only a failure in the loop ends it.
      script.restUpdateFails = (faults & kRestUpdateFails) != 0;
      const std::string context = "faults " + std::to_string(faults) + ", " + end.name;

      const bool listening = (faults & (kSocketFails | kBindFails)) == 0;
      ASSERT_EQ(RunScripted(platform), listening ? 0 : kExitNoListeningSocket) << context;
      const std::string& out = script.output;
      const std::size_t cut = out.find("WSAStartUp");
      ASSERT_NE(cut, std::string::npos) << context;
      EXPECT_EQ(out.substr(cut), ExpectedAfterAddress(faults, end)) << context;
      EXPECT_EQ(script.pauses, 1) << context;
      EXPECT_EQ(script.updates.size(), static_cast<std::size_t>(end.datagramsBeforeEnd + 1))
          << context;
      EXPECT_EQ(script.acquisitions.size(), end.byUpdate ? 2u : 1u) << context;
      ++runs;
    }
  }
  EXPECT_EQ(runs, 128 * 5);
}

TEST(FaultInjection, RestPositionFailureIsIgnored) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.updatesBeforeFailure = 0;  // every update fails, the rest position's included
  script.receives = {{20, Datagram(0, 0, 0, 0, 0)}};
  EXPECT_EQ(RunScripted(platform), 0);
  EXPECT_NE(script.output.find("init complete\nFeeding vJoy device number 1 failed"),
            std::string::npos);
  EXPECT_EQ(script.updates.size(), 2u);
}

}  // namespace
}  // namespace joywire::testing
