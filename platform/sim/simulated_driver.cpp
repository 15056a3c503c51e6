// The simulated device as the feeder's driver.
#include "feeder/platform.h"
#include "platform/sim/simulated_device.h"

namespace joywire {

void InstallDriver(Platform& platform) {
  platform.vJoyEnabled = SimulatedEnabled;
  platform.GetvJoyManufacturerString = SimulatedManufacturer;
  platform.GetvJoyProductString = SimulatedProduct;
  platform.GetvJoySerialNumberString = SimulatedSerialNumber;
  platform.GetVJDStatus = SimulatedStatus;
  platform.AcquireVJD = SimulatedAcquire;
  platform.UpdateVJD = [](std::uint32_t device, PositionRecord* record) {
    return SimulatedUpdate(device, record);
  };
}

}  // namespace joywire
