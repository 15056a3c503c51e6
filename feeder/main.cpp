// Entry point of every feeder build; the executable's link line picks the host services and
// the driver.
#include "feeder/platform.h"
#include "feeder/run.h"

int main(int argc, char** argv) {
  const char* const* arguments = argv;
  joywire::HostArguments(argc, arguments);
  joywire::Platform platform{};
  joywire::InstallHostServices(platform);
  joywire::InstallDriver(platform);
  return joywire::RunFeeder(argc, arguments, platform);
}
