// Looks at the joystick the way a game does, through SDL2, for the checks in the VM.
//   sdl-probe NAME   then commands on standard input, one a line:
//     expect X Y Z BUTTONS   the raw position (0..32767, button bits) the device should show
//     removed                the device should go away
// Started before the feeder, it waits for the joystick to arrive, checks it is the only one of
// its name with 3 axes, 2 buttons and 0 hats, then answers each command with a PROBE PASS or
// PROBE FAIL line saying what SDL reported.
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int g_failures = 0;

void Report(bool ok, const char* what) {
  std::printf("PROBE %s %s\n", ok ? "PASS" : "FAIL", what);
  std::fflush(stdout);
  g_failures += ok ? 0 : 1;
}

// SDL reports an axis over -32768..32767, mapped linearly from the device's own range.
int SdlAxis(int raw) {
  return static_cast<int>(std::lround(-32768.0 + raw * 65535.0 / 32767.0));
}

bool Within(int seen, int expected) {
  return std::abs(seen - expected) <= 1;
}

SDL_Joystick* WaitForArrival(const char* name) {
  const Uint32 deadline = SDL_GetTicks() + 60000;
  while (SDL_GetTicks() < deadline) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_JOYDEVICEADDED) {
        const char* arrived = SDL_JoystickNameForIndex(event.jdevice.which);
        if (arrived != nullptr && std::strcmp(arrived, name) == 0) {
          return SDL_JoystickOpen(event.jdevice.which);
        }
      }
    }
    SDL_Delay(10);
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sdl-probe NAME\n");
    return 2;
  }
  const char* name = argv[1];
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_Init(SDL_INIT_JOYSTICK) != 0) {
    std::printf("PROBE FAIL SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  SDL_version version;
  SDL_GetVersion(&version);
  std::printf("probe: SDL %d.%d.%d, waiting for \"%s\"\n", version.major, version.minor,
              version.patch, name);
  std::fflush(stdout);
  SDL_Joystick* stick = WaitForArrival(name);
  char line[256];
  if (stick == nullptr) {
    Report(false, "the joystick did not arrive");
    return 1;
  }
  int sameName = 0;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    const char* other = SDL_JoystickNameForIndex(i);
    sameName += other != nullptr && std::strcmp(other, name) == 0 ? 1 : 0;
  }
  std::snprintf(line, sizeof line, "arrived: \"%s\", %d of that name, %d axes, %d buttons, %d hats",
                SDL_JoystickName(stick), sameName, SDL_JoystickNumAxes(stick),
                SDL_JoystickNumButtons(stick), SDL_JoystickNumHats(stick));
  Report(sameName == 1 && SDL_JoystickNumAxes(stick) == 3 && SDL_JoystickNumButtons(stick) == 2 &&
             SDL_JoystickNumHats(stick) == 0,
         line);
  const SDL_JoystickID id = SDL_JoystickInstanceID(stick);

  char command[128];
  while (std::fgets(command, sizeof command, stdin) != nullptr) {
    int x = 0, y = 0, z = 0, buttons = 0;
    if (std::sscanf(command, "expect %d %d %d %d", &x, &y, &z, &buttons) == 4) {
      const int want[5] = {SdlAxis(x), SdlAxis(y), SdlAxis(z), buttons & 1, (buttons >> 1) & 1};
      int seen[5] = {};
      bool match = false;
      for (const Uint32 deadline = SDL_GetTicks() + 10000; !match && SDL_GetTicks() < deadline;
           SDL_Delay(5)) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        for (int axis = 0; axis < 3; ++axis) {
          seen[axis] = SDL_JoystickGetAxis(stick, axis);
        }
        seen[3] = SDL_JoystickGetButton(stick, 0);
        seen[4] = SDL_JoystickGetButton(stick, 1);
        match = Within(seen[0], want[0]) && Within(seen[1], want[1]) && Within(seen[2], want[2]) &&
                seen[3] == want[3] && seen[4] == want[4];
      }
      std::snprintf(line, sizeof line,
                    "raw %d %d %d buttons %d: SDL axes %d %d %d buttons %d %d (expected %d %d %d "
                    "buttons %d %d)",
                    x, y, z, buttons, seen[0], seen[1], seen[2], seen[3], seen[4], want[0], want[1],
                    want[2], want[3], want[4]);
      Report(match, line);
    } else if (std::strncmp(command, "removed", 7) == 0) {
      bool removed = false;
      for (const Uint32 deadline = SDL_GetTicks() + 30000; !removed && SDL_GetTicks() < deadline;
           SDL_Delay(10)) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
          removed = removed || (event.type == SDL_JOYDEVICEREMOVED && event.jdevice.which == id);
        }
      }
      Report(removed, "the joystick left when its feeder was killed");
    }
  }
  SDL_Quit();
  return g_failures == 0 ? 0 : 1;
}
