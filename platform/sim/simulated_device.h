#pragma once

#include <cstdint>

#include "control/position_record.h"
#include "control/record_tail.h"

namespace joywire {

// A stand-in for the virtual joystick driver: it keeps a driver's state in this process, is
// steered by environment variables, and traces each acquisition and update as a line.
//   JOYWIRE_SIM_ENABLED=0      the driver reports itself not enabled
//   JOYWIRE_SIM_STATUS=<n>     every status query answers n
//   JOYWIRE_SIM_ACQUIRE=0      acquisition fails
//   JOYWIRE_SIM_FAIL_AFTER=<n> every update after the first n fails
//   JOYWIRE_SIM_TRACE=<file>   trace lines are appended there instead of standard error
//   JOYWIRE_SIM_RUMBLE=<pipe>  a test plays rumble through it (simulated_rumble.h; not on Windows)
// The environment is read at the first call (and again after ResetSimulatedDevice).

int SimulatedEnabled();
const wchar_t* SimulatedManufacturer();
const wchar_t* SimulatedProduct();
const wchar_t* SimulatedSerialNumber();
int SimulatedStatus(std::uint32_t device);
int SimulatedAcquire(std::uint32_t device);
int SimulatedUpdate(std::uint32_t device, const PositionRecord* record);
// The longer record's other controls (its six axes and hat), shown with the next update.
void SimulatedSetExtraControls(const ExtraControls& controls);

// The rumble level the feeder sent back to its sender, as a trace line.
void SimulatedRumbleSent(std::uint16_t strong, std::uint16_t weak);

// Acquisitions and updates go to these instead of trace lines (a live display, say).
struct SimulatedDeviceObserver {
  void (*acquired)(std::uint32_t device, bool ok);
  void (*updated)(std::uint32_t device, const JoystickPosition& position,
                  const ExtraControls& extras, bool ok);
};
void ObserveSimulatedDevice(const SimulatedDeviceObserver& observer);

// Forgets acquisitions and update counts and reads the environment again.
void ResetSimulatedDevice();

}  // namespace joywire
