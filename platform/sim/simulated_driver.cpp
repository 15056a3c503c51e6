// The simulated device as the feeder's driver. On a terminal it shows a live gauge instead of
// trace lines (JOYWIRE_SIM_GAUGE=0 keeps the lines); the gauge is told about the feeder's own
// output and waits, so the two share the screen without garbling each other.
#include <cstdlib>
#include <cstring>

#include "feeder/platform.h"
#include "platform/sim/gauge.h"
#include "platform/sim/simulated_device.h"
#include "platform/terminal.h"

namespace joywire {

namespace {

Console g_hostConsole;
int (*g_hostReceive)(SocketHandle, char*, int, int) = nullptr;

bool GaugeWanted() {
  const char* trace = std::getenv("JOYWIRE_SIM_TRACE");
  const char* gauge = std::getenv("JOYWIRE_SIM_GAUGE");
  if ((trace != nullptr && *trace != '\0') || (gauge != nullptr && std::strcmp(gauge, "0") == 0)) {
    return false;
  }
  return StandardErrorIsTerminal() && EnableTerminalEscapes();
}

void WriteBesideGauge(const char* text, std::size_t length) {
  GaugeStepAside();
  g_hostConsole.Write(text, length);
  GaugeAfterOutput(text, length);
}

void PauseBelowGauge() {
  GaugeDraw();
  g_hostConsole.Pause();
}

// Before blocking for the next datagram, the gauge gets its due drawing: at once when it is
// due, or when no datagram comes before it is.
int ReceiveWithGauge(SocketHandle socket, char* buffer, int length, int flags) {
  const int due = GaugeMillisecondsUntilDue();
  if (due == 0 || (due > 0 && !WaitForDatagram(socket, due))) {
    GaugeDraw();
  }
  return g_hostReceive(socket, buffer, length, flags);
}

}  // namespace

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
  if (!GaugeWanted()) {
    return;
  }
  ShowSimulatedGauge();
  std::atexit(GaugeDraw);  // the last state stays on screen however the run ends
  g_hostReceive = platform.recvfrom;
  platform.recvfrom = ReceiveWithGauge;
  g_hostConsole = platform.console;
  platform.console.Pause = PauseBelowGauge;
  if (StandardOutputIsTerminal()) {
    platform.console.Write = WriteBesideGauge;
  }
}

}  // namespace joywire
