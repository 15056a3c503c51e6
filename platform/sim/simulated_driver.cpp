// The simulated device as the feeder's driver. On a terminal it shows a live gauge instead of
// trace lines (JOYWIRE_SIM_GAUGE=0 keeps the lines). The feeder's output, the operator's typing
// and the final wait all pass the gauge, so the two share the screen without garbling it.
#include <cstdlib>
#include <cstring>

#include "feeder/platform.h"
#include "platform/sim/gauge.h"
#include "platform/sim/simulated_device.h"
#include "platform/terminal.h"
#ifndef _WIN32
#include "platform/sim/simulated_rumble.h"
#endif

namespace joywire {

namespace {

Console g_hostConsole;
int (*g_hostReceive)(SocketHandle, char*, int, int) = nullptr;
bool g_inputEchoes = false;  // typed lines are echoed on the gauge's terminal

bool GaugeWanted() {
  const char* trace = std::getenv("JOYWIRE_SIM_TRACE");
  const char* gauge = std::getenv("JOYWIRE_SIM_GAUGE");
  if ((trace != nullptr && *trace != '\0') || (gauge != nullptr && std::strcmp(gauge, "0") == 0)) {
    return false;
  }
  return StandardErrorIsTerminal() && EnableTerminalEscapes();
}

void WriteBesideGauge(const char* text, std::size_t length) {
  GaugeWriteText(g_hostConsole.Write, text, length);
}

int ReadBesideGauge() {
  GaugeBeforeInput();
  const int c = g_hostConsole.ReadChar();
  GaugeAfterInput(c, g_inputEchoes && c != kEndOfInput);
  return c;
}

// The gauge as it last was stays above the final wait.
void PauseBelowGauge() {
  GaugeFinish();
  g_hostConsole.Pause();
}

// Before blocking for the next datagram, the gauge gets each drawing that falls due while none
// comes: the last state at once, and the rate again each second until it is 0.
int ReceiveWithGauge(SocketHandle socket, char* buffer, int length, int flags) {
  for (int due = GaugeMillisecondsUntilDue(); due >= 0; due = GaugeMillisecondsUntilDue()) {
    if (due > 0 && WaitForDatagram(socket, due)) {
      break;
    }
    GaugeDraw();
  }
  return g_hostReceive(socket, buffer, length, flags);
}

#ifndef _WIN32
void TraceRumble(RumbleLevel level) {
  SimulatedRumbleSent(level.strong, level.weak);
}
#endif

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
  platform.SetExtraControls = SimulatedSetExtraControls;
  const bool gauge = GaugeWanted();
#ifndef _WIN32
  // With rumble, its receive waits on the socket and the pipe, and draws the gauge meanwhile.
  const bool rumbles =
      gauge ? InstallSimulatedRumble(platform, GaugeRumble, GaugeMillisecondsUntilDue, GaugeDraw)
            : InstallSimulatedRumble(platform, TraceRumble, nullptr, nullptr);
#else
  const bool rumbles = false;
#endif
  if (!gauge) {
    return;
  }
  ObserveSimulatedDevice(SimulatedDeviceObserver{GaugeAcquire, GaugeUpdate});
  std::atexit(GaugeFinish);  // the last state stays on screen however the run ends
  if (!rumbles) {
    g_hostReceive = platform.recvfrom;
    platform.recvfrom = ReceiveWithGauge;
  }
  g_hostConsole = platform.console;
  g_inputEchoes = StandardInputEchoes();
  platform.console.Pause = PauseBelowGauge;
  platform.console.ReadChar = ReadBesideGauge;
  if (StandardOutputIsTerminal()) {
    platform.console.Write = WriteBesideGauge;
  }
}

}  // namespace joywire
