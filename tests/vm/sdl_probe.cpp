// Looks at the joystick the way a game does, through SDL2, for the checks in the VM.
//   sdl-probe NAME   then commands on standard input, one a line:
//     expect X Y Z BUTTONS   the raw position (0..32767, button bits) the device should show
//     removed                the device should go away
// Started before the feeder, it waits for the joystick to arrive, checks it is the only one of
// its name with 3 axes, 2 buttons and 0 hats, then answers each command with a PROBE PASS or
// PROBE FAIL line saying what SDL reported.
// SDL is loaded at run time from the VM's own userland, so building the probe needs only SDL's
// headers and nothing of the libraries SDL itself depends on.
#include <SDL.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The SDL calls the probe makes, bound by name from libSDL2-2.0.so.0.
struct Sdl {
  decltype(&SDL_SetHint) SetHint;
  decltype(&SDL_Init) Init;
  decltype(&SDL_GetError) GetError;
  decltype(&SDL_GetVersion) GetVersion;
  decltype(&SDL_GetTicks) GetTicks;
  decltype(&SDL_PollEvent) PollEvent;
  decltype(&SDL_JoystickNameForIndex) JoystickNameForIndex;
  decltype(&SDL_JoystickOpen) JoystickOpen;
  decltype(&SDL_Delay) Delay;
  decltype(&SDL_NumJoysticks) NumJoysticks;
  decltype(&SDL_JoystickName) JoystickName;
  decltype(&SDL_JoystickNumAxes) JoystickNumAxes;
  decltype(&SDL_JoystickNumButtons) JoystickNumButtons;
  decltype(&SDL_JoystickNumHats) JoystickNumHats;
  decltype(&SDL_JoystickInstanceID) JoystickInstanceID;
  decltype(&SDL_JoystickGetAxis) JoystickGetAxis;
  decltype(&SDL_JoystickGetButton) JoystickGetButton;
  decltype(&SDL_Quit) Quit;
};
Sdl sdl;

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

bool LoadSdl() {
  void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW);
  if (library == nullptr) {
    std::printf("PROBE FAIL loading SDL: %s\n", dlerror());
    return false;
  }
  bool all = true;
  all &= Bind(library, "SDL_SetHint", sdl.SetHint);
  all &= Bind(library, "SDL_Init", sdl.Init);
  all &= Bind(library, "SDL_GetError", sdl.GetError);
  all &= Bind(library, "SDL_GetVersion", sdl.GetVersion);
  all &= Bind(library, "SDL_GetTicks", sdl.GetTicks);
  all &= Bind(library, "SDL_PollEvent", sdl.PollEvent);
  all &= Bind(library, "SDL_JoystickNameForIndex", sdl.JoystickNameForIndex);
  all &= Bind(library, "SDL_JoystickOpen", sdl.JoystickOpen);
  all &= Bind(library, "SDL_Delay", sdl.Delay);
  all &= Bind(library, "SDL_NumJoysticks", sdl.NumJoysticks);
  all &= Bind(library, "SDL_JoystickName", sdl.JoystickName);
  all &= Bind(library, "SDL_JoystickNumAxes", sdl.JoystickNumAxes);
  all &= Bind(library, "SDL_JoystickNumButtons", sdl.JoystickNumButtons);
  all &= Bind(library, "SDL_JoystickNumHats", sdl.JoystickNumHats);
  all &= Bind(library, "SDL_JoystickInstanceID", sdl.JoystickInstanceID);
  all &= Bind(library, "SDL_JoystickGetAxis", sdl.JoystickGetAxis);
  all &= Bind(library, "SDL_JoystickGetButton", sdl.JoystickGetButton);
  all &= Bind(library, "SDL_Quit", sdl.Quit);
  if (!all) {
    std::printf("PROBE FAIL SDL lacks an operation the probe uses\n");
  }
  return all;
}

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
  const Uint32 deadline = sdl.GetTicks() + 60000;
  while (sdl.GetTicks() < deadline) {
    SDL_Event event;
    while (sdl.PollEvent(&event)) {
      if (event.type == SDL_JOYDEVICEADDED) {
        const char* arrived = sdl.JoystickNameForIndex(event.jdevice.which);
        if (arrived != nullptr && std::strcmp(arrived, name) == 0) {
          return sdl.JoystickOpen(event.jdevice.which);
        }
      }
    }
    sdl.Delay(10);
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
  if (!LoadSdl()) {
    return 1;
  }
  sdl.SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (sdl.Init(SDL_INIT_JOYSTICK) != 0) {
    std::printf("PROBE FAIL SDL_Init: %s\n", sdl.GetError());
    return 1;
  }
  SDL_version version;
  sdl.GetVersion(&version);
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
  for (int i = 0; i < sdl.NumJoysticks(); ++i) {
    const char* other = sdl.JoystickNameForIndex(i);
    sameName += other != nullptr && std::strcmp(other, name) == 0 ? 1 : 0;
  }
  std::snprintf(line, sizeof line, "arrived: \"%s\", %d of that name, %d axes, %d buttons, %d hats",
                sdl.JoystickName(stick), sameName, sdl.JoystickNumAxes(stick),
                sdl.JoystickNumButtons(stick), sdl.JoystickNumHats(stick));
  Report(sameName == 1 && sdl.JoystickNumAxes(stick) == 3 && sdl.JoystickNumButtons(stick) == 2 &&
             sdl.JoystickNumHats(stick) == 0,
         line);
  const SDL_JoystickID id = sdl.JoystickInstanceID(stick);

  char command[128];
  while (std::fgets(command, sizeof command, stdin) != nullptr) {
    int x = 0, y = 0, z = 0, buttons = 0;
    if (std::sscanf(command, "expect %d %d %d %d", &x, &y, &z, &buttons) == 4) {
      const int want[5] = {SdlAxis(x), SdlAxis(y), SdlAxis(z), buttons & 1, (buttons >> 1) & 1};
      int seen[5] = {};
      bool match = false;
      for (const Uint32 deadline = sdl.GetTicks() + 10000; !match && sdl.GetTicks() < deadline;
           sdl.Delay(5)) {
        SDL_Event event;
        while (sdl.PollEvent(&event)) {
        }
        for (int axis = 0; axis < 3; ++axis) {
          seen[axis] = sdl.JoystickGetAxis(stick, axis);
        }
        seen[3] = sdl.JoystickGetButton(stick, 0);
        seen[4] = sdl.JoystickGetButton(stick, 1);
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
      for (const Uint32 deadline = sdl.GetTicks() + 30000; !removed && sdl.GetTicks() < deadline;
           sdl.Delay(10)) {
        SDL_Event event;
        while (sdl.PollEvent(&event)) {
          removed = removed || (event.type == SDL_JOYDEVICEREMOVED && event.jdevice.which == id);
        }
      }
      Report(removed, "the joystick left when its feeder was killed");
    }
  }
  sdl.Quit();
  return g_failures == 0 ? 0 : 1;
}
