#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "control/position_record.h"
#include "feeder/platform.h"
#include "platform/sim/simulated_device.h"

namespace joywire {
namespace {

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value == nullptr ? "" : value);
#else
  if (value == nullptr) {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
#endif
}

class SimulatedDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    tracePath_ = ::testing::TempDir() + "joywire_sim_trace.txt";
    std::remove(tracePath_.c_str());
    for (const char* name : {"JOYWIRE_SIM_ENABLED", "JOYWIRE_SIM_STATUS", "JOYWIRE_SIM_ACQUIRE",
                             "JOYWIRE_SIM_FAIL_AFTER"}) {
      SetEnvironment(name, nullptr);
    }
    SetEnvironment("JOYWIRE_SIM_TRACE", tracePath_.c_str());
    ResetSimulatedDevice();
  }
  void TearDown() override {
    ResetSimulatedDevice();
    SetEnvironment("JOYWIRE_SIM_TRACE", nullptr);
    std::remove(tracePath_.c_str());
  }
  std::string Trace() {
    ResetSimulatedDevice();  // closes the trace file
    std::ifstream in(tracePath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string tracePath_;
};

TEST_F(SimulatedDevice, FreshDriverIsEnabledWithSixteenFreeDevices) {
  EXPECT_EQ(SimulatedEnabled(), 1);
  EXPECT_EQ(SimulatedStatus(0), kDeviceMissing);
  EXPECT_EQ(SimulatedStatus(1), kDeviceFree);
  EXPECT_EQ(SimulatedStatus(16), kDeviceFree);
  EXPECT_EQ(SimulatedStatus(17), kDeviceMissing);
  EXPECT_EQ(SimulatedStatus(static_cast<std::uint32_t>(-2)), kDeviceMissing);
  EXPECT_NE(SimulatedManufacturer()[0], L'\0');
  EXPECT_NE(SimulatedProduct()[0], L'\0');
  EXPECT_NE(SimulatedSerialNumber()[0], L'\0');
}

TEST_F(SimulatedDevice, AcquiredDeviceIsOwnedAndUpdatesAreTraced) {
  ASSERT_EQ(SimulatedAcquire(3), 1);
  EXPECT_EQ(SimulatedStatus(3), kDeviceOwned);
  EXPECT_EQ(SimulatedStatus(4), kDeviceFree);
  PositionRecord record;
  ResetPositionRecord(record, 259);
  StorePosition(record, JoystickPosition{16383, 0, 32767, 2});
  EXPECT_EQ(SimulatedUpdate(259, &record), 1);
  ResetPositionRecord(record, -2);
  StorePosition(record, JoystickPosition{1, 2, 3, 0});
  EXPECT_EQ(SimulatedUpdate(static_cast<std::uint32_t>(-2), &record), 1);
  EXPECT_EQ(Trace(),
            "acquire device=3 ok\n"
            "update device=259 index=3 x=16383 y=0 z=32767 buttons=2 ok\n"
            "update device=-2 index=254 x=1 y=2 z=3 buttons=0 ok\n");
}

TEST_F(SimulatedDevice, EnvironmentSteersTheAnswers) {
  SetEnvironment("JOYWIRE_SIM_ENABLED", "0");
  SetEnvironment("JOYWIRE_SIM_STATUS", "2");
  SetEnvironment("JOYWIRE_SIM_ACQUIRE", "0");
  ResetSimulatedDevice();
  EXPECT_EQ(SimulatedEnabled(), 0);
  EXPECT_EQ(SimulatedStatus(1), 2);
  EXPECT_EQ(SimulatedStatus(99), 2);
  EXPECT_EQ(SimulatedAcquire(1), 0);
  EXPECT_EQ(Trace(), "acquire device=1 failed\n");
}

TEST_F(SimulatedDevice, UpdatesFailAfterTheConfiguredCount) {
  SetEnvironment("JOYWIRE_SIM_FAIL_AFTER", "2");
  ResetSimulatedDevice();
  PositionRecord record;
  ResetPositionRecord(record, 1);
  EXPECT_EQ(SimulatedUpdate(1, &record), 1);
  EXPECT_EQ(SimulatedUpdate(1, &record), 1);
  EXPECT_EQ(SimulatedUpdate(1, &record), 0);
  EXPECT_EQ(SimulatedUpdate(1, &record), 0);
  const std::string trace = Trace();
  EXPECT_NE(trace.find("buttons=0 ok\nupdate device=1 index=1 x=0 y=0 z=0 buttons=0 failed\n"),
            std::string::npos)
      << trace;
}

}  // namespace
}  // namespace joywire
