// Entry point of every feeder build; the executable's link line picks the host services and
// the driver.
#include "feeder/platform.h"
#include "feeder/run.h"

int main(int argc, char** argv) {
  joywire::Platform platform{};
  joywire::InstallHostServices(platform);
  joywire::InstallDriver(platform);
  return joywire::RunFeeder(argc, argv, platform);
}
