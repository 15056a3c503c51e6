#include "platform/sim/simulated_device.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

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
  int traceDescriptor;  // the trace's, written directly
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
      std::setvbuf(file, nullptr, _IONBF, 0);  // each line one write, as on stderr
      g_state.trace = file;
    }
  }
#ifdef _WIN32
  g_state.traceDescriptor = _fileno(g_state.trace);
#else
  g_state.traceDescriptor = fileno(g_state.trace);
#endif
  return g_state;
}

bool InRange(std::uint32_t device) {
  return device >= kFirstDevice && device <= kLastDevice;
}

// The feeder passes its signed device number through an unsigned parameter; show it as typed.
int AsTyped(std::uint32_t device) {
  return static_cast<int>(device);
}

// Each line one write to the trace's descriptor, written now, as uinput's one write an update:
// through stdio's layers, even unbuffered, the line cost the feeder a tenth more a datagram.
// (The stream is unbuffered, so nothing of it waits to come before or after.)
void Trace(const char* line, int length) {
  const int descriptor = State().traceDescriptor;
  while (length > 0) {
#ifdef _WIN32
    const int written = _write(descriptor, line, static_cast<unsigned>(length));
#else
    const auto written = ::write(descriptor, line, static_cast<std::size_t>(length));
#endif
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return;
    }
    line += written;
    length -= static_cast<int>(written);
  }
}

// A line of the trace: text and whole numbers, within its 256 bytes.
struct TraceLine {
  char text[256];
  int length = 0;
  TraceLine& Text(std::string_view part) {
    const std::size_t size =
        std::min(part.size(), sizeof text - 1 - static_cast<std::size_t>(length));
    std::memcpy(text + length, part.data(), size);
    length += static_cast<int>(size);
    return *this;
  }
  template <typename Integer>
  TraceLine& Number(Integer value) {
    length =
        static_cast<int>(std::to_chars(text + length, text + sizeof text - 1, value).ptr - text);
    return *this;
  }
};

// Bytes the feeder has no business writing (the driver's other axes and hats), counted so that
// the trace names them and a scenario sees it. Almost every record has none: the spans between
// the written fields are compared whole first, and counted byte by byte only when one differs.
int StrayBytes(const PositionRecord& record) {
  static constexpr unsigned char kZeros[kPositionRecordSize] = {};
  const struct {
    std::size_t from, to;
  } spans[] = {{1, kAxisXOffset},
               {kAxisZOffset + 4, kButtonBitsOffset},
               {kButtonBitsOffset + 4, kPositionRecordSize}};
  int others = 0;
  for (const auto& span : spans) {
    if (std::memcmp(record.bytes + span.from, kZeros, span.to - span.from) != 0) {
      for (std::size_t at = span.from; at < span.to; ++at) {
        others += record.bytes[at] != 0 ? 1 : 0;
      }
    }
  }
  return others;
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
  // The trace line, put together piece by piece: at every datagram, a general formatter would
  // be most of the feeder's own time.
  TraceLine line;
  line.Text("update device=").Number(AsTyped(device));
  line.Text(" index=").Number(static_cast<unsigned>(ReadDeviceIndex(*record)));
  line.Text(" x=").Number(position.x).Text(" y=").Number(position.y);
  line.Text(" z=").Number(position.z).Text(" buttons=").Number(position.buttons);
  if (!ExtraControlsAtRest(extras)) {  // the longer record's other controls, when any is moved
    line.Text(" hat=").Number(unsigned{extras.hat});
    constexpr std::string_view names[] = {" rx=", " ry=", " rz=", " slider=", " dial=", " wheel="};
    for (std::size_t axis = 0; axis < 6; ++axis) {
      line.Text(names[axis]).Number(extras.axes[axis]);
    }
  }
  if (const int others = StrayBytes(*record); others != 0) {
    line.Text(" other-bytes=").Number(others);
  }
  line.Text(ok ? " ok\n" : " failed\n");
  const int length = line.length;
  Trace(line.text, length);
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

void SimulatedRumbleSent(std::uint16_t strong, std::uint16_t weak) {
  TraceLine line;
  line.Text("rumble strong=").Number(strong).Text(" weak=").Number(weak).Text("\n");
  Trace(line.text, line.length);
}

}  // namespace joywire
