#include "platform/sim/simulated_device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "feeder/platform.h"

namespace joywire {

namespace {

constexpr std::uint32_t kFirstDevice = 1;
constexpr std::uint32_t kLastDevice = 16;
constexpr long long kNoLimit = -1;

struct SimulatedState {
  bool configured;
  bool enabled;
  bool statusForced;
  int forcedStatus;
  bool acquireWorks;
  long long updatesBeforeFailure;
  long long updatesSoFar;
  bool acquired[kLastDevice + 1];
  std::FILE* trace;
  SimulatedDeviceObserver observer;
  ExtraControls extras;
  bool extrasSet;  // since the last reset; before, the controls are at rest
};

SimulatedState g_state{};

bool EnvironmentSays(const char* name, long long& value) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') {
    return false;
  }
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return end != text;
}

bool EnvironmentIsZero(const char* name) {
  long long value = 1;
  return EnvironmentSays(name, value) && value == 0;
}

SimulatedState& State() {
  if (g_state.configured) {
    return g_state;
  }
  g_state.configured = true;
  g_state.enabled = !EnvironmentIsZero("JOYWIRE_SIM_ENABLED");
  g_state.acquireWorks = !EnvironmentIsZero("JOYWIRE_SIM_ACQUIRE");
  long long value = 0;
  g_state.statusForced = EnvironmentSays("JOYWIRE_SIM_STATUS", value);
  g_state.forcedStatus = static_cast<int>(value);
  g_state.updatesBeforeFailure =
      EnvironmentSays("JOYWIRE_SIM_FAIL_AFTER", value) && value >= 0 ? value : kNoLimit;
  const char* path = std::getenv("JOYWIRE_SIM_TRACE");
  g_state.trace = stderr;
  if (path != nullptr && *path != '\0') {
    if (std::FILE* file = std::fopen(path, "ab")) {
      g_state.trace = file;
    }
  }
  return g_state;
}

bool InRange(std::uint32_t device) {
  return device >= kFirstDevice && device <= kLastDevice;
}

// The feeder passes its signed device number through an unsigned parameter; show it as typed.
int AsTyped(std::uint32_t device) {
  return static_cast<int>(device);
}

void Trace(const char* line, int length) {
  SimulatedState& state = State();
  std::fwrite(line, 1, static_cast<std::size_t>(length), state.trace);
  std::fflush(state.trace);
}

}  // namespace

int SimulatedEnabled() {
  return State().enabled ? 1 : 0;
}
const wchar_t* SimulatedManufacturer() {
  return L"joywire";
}
const wchar_t* SimulatedProduct() {
  return L"joywire simulated joystick";
}
const wchar_t* SimulatedSerialNumber() {
  return L"" JOYWIRE_VERSION;
}

int SimulatedStatus(std::uint32_t device) {
  const SimulatedState& state = State();
  if (state.statusForced) {
    return state.forcedStatus;
  }
  if (!InRange(device)) {
    return kDeviceMissing;
  }
  return state.acquired[device] ? kDeviceOwned : kDeviceFree;
}

int SimulatedAcquire(std::uint32_t device) {
  SimulatedState& state = State();
  const bool ok = state.acquireWorks;
  if (ok && InRange(device)) {
    state.acquired[device] = true;
  }
  if (state.observer.acquired != nullptr) {
    state.observer.acquired(device, ok);
    return ok ? 1 : 0;
  }
  char line[64];
  const int length = std::snprintf(line, sizeof line, "acquire device=%d %s\n", AsTyped(device),
                                   ok ? "ok" : "failed");
  Trace(line, length);
  return ok ? 1 : 0;
}

int SimulatedUpdate(std::uint32_t device, const PositionRecord* record) {
  SimulatedState& state = State();
  ++state.updatesSoFar;
  const bool ok =
      state.updatesBeforeFailure == kNoLimit || state.updatesSoFar <= state.updatesBeforeFailure;
  const JoystickPosition position = ReadPosition(*record);
  const ExtraControls extras = state.extrasSet ? state.extras : kRestExtraControls;
  if (state.observer.updated != nullptr) {
    state.observer.updated(device, position, extras, ok);
    return ok ? 1 : 0;
  }
  // Bytes the feeder has no business writing (the driver's other axes and hats): named in the
  // trace when any is set, so that a scenario sees it.
  int others = 0;
  for (std::size_t at = 1; at < kPositionRecordSize; ++at) {
    const bool written = (at >= kAxisXOffset && at < kAxisZOffset + 4) ||
                         (at >= kButtonBitsOffset && at < kButtonBitsOffset + 4);
    others += !written && record->bytes[at] != 0 ? 1 : 0;
  }
  char stray[32] = "";
  if (others != 0) {
    std::snprintf(stray, sizeof stray, " other-bytes=%d", others);
  }
  // The longer record's other controls, when any is away from its rest.
  char more[112] = "";
  if (!ExtraControlsAtRest(extras)) {
    std::snprintf(more, sizeof more, " hat=%u rx=%d ry=%d rz=%d slider=%d dial=%d wheel=%d",
                  unsigned{extras.hat}, extras.axes[0], extras.axes[1], extras.axes[2],
                  extras.axes[3], extras.axes[4], extras.axes[5]);
  }
  char line[256];
  const int length = std::snprintf(
      line, sizeof line, "update device=%d index=%u x=%d y=%d z=%d buttons=%d%s%s %s\n",
      AsTyped(device), static_cast<unsigned>(ReadDeviceIndex(*record)), position.x, position.y,
      position.z, position.buttons, more, stray, ok ? "ok" : "failed");
  Trace(line, length);
  return ok ? 1 : 0;
}

void SimulatedSetExtraControls(const ExtraControls& controls) {
  SimulatedState& state = State();
  state.extras = controls;
  state.extrasSet = true;
}

void ObserveSimulatedDevice(const SimulatedDeviceObserver& observer) {
  State().observer = observer;
}

void ResetSimulatedDevice() {
  if (g_state.trace != nullptr && g_state.trace != stderr) {
    std::fclose(g_state.trace);
  }
  std::memset(&g_state, 0, sizeof g_state);
}

}  // namespace joywire
