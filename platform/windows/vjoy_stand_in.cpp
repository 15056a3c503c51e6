// A stand-in vJoyInterface.dll for testing joywire.exe where the real driver is not installed:
// the simulated device, exported under the driver library's operation names.
#include <windows.h>

#include "platform/sim/simulated_device.h"

using joywire::PositionRecord;

extern "C" {

__declspec(dllexport) BOOL vJoyEnabled() {
  return joywire::SimulatedEnabled();
}

__declspec(dllexport) PVOID GetvJoyManufacturerString() {
  return const_cast<wchar_t*>(joywire::SimulatedManufacturer());
}

__declspec(dllexport) PVOID GetvJoyProductString() {
  return const_cast<wchar_t*>(joywire::SimulatedProduct());
}

__declspec(dllexport) PVOID GetvJoySerialNumberString() {
  return const_cast<wchar_t*>(joywire::SimulatedSerialNumber());
}

__declspec(dllexport) int GetVJDStatus(UINT device) {
  return joywire::SimulatedStatus(device);
}

__declspec(dllexport) BOOL AcquireVJD(UINT device) {
  return joywire::SimulatedAcquire(device);
}

__declspec(dllexport) BOOL UpdateVJD(UINT device, PVOID record) {
  return joywire::SimulatedUpdate(device, static_cast<const PositionRecord*>(record));
}

}  // extern "C"
