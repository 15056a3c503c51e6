// Looks at the joystick the way a game does, through SDL2, for the checks in the VM.
//   sdl-probe NAME   then commands on standard input, one a line:
//     expect X Y Z BUTTONS   the raw position (0..32767, button bits) the device should show
//     removed                the device should go away
//   sdl-probe --gamepad NAME   then: pad [CONTROL=RAW]...   the game controller's named
//     controls (SDL's names: leftx, a, dpup...) at those raw values (axes 0..32767, buttons
//     0 or 1), and every other control at rest
//   either, also: rumble STRONG WEAK   the probe sends the feeder a datagram (X 0.5), rumbles
//     the device as a game does, and reads the level the feeder sends back, then the zero
//     after SDL's stop; and: upload STRONG WEAK   the rumble's upload alone, timed
// Started before the feeder, it waits for the joystick to arrive, checks it is the only one of
// its name with 3 axes, 2 buttons and 0 hats (or that SDL takes it for a game controller, and
// prints its GUID), then answers each command with a PROBE PASS or PROBE FAIL line saying what
// SDL reported.
// SDL is loaded at run time from the VM's own userland, so building the probe needs only SDL's
// headers and nothing of the libraries SDL itself depends on.
#include <SDL.h>
#include <arpa/inet.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The SDL calls the probe makes, bound by name from libSDL2-2.0.so.0.
#define SDL_CALLS(X)                                                                              \
  X(SetHint)                                                                                      \
  X(Init)                                                                                         \
  X(GetError)                                                                                     \
  X(GetVersion) X(GetTicks) X(PollEvent) X(JoystickNameForIndex) X(JoystickOpen) X(Delay)         \
      X(NumJoysticks) X(JoystickName) X(JoystickNumAxes) X(JoystickNumButtons) X(JoystickNumHats) \
          X(JoystickInstanceID) X(JoystickGetAxis) X(JoystickGetButton) X(Quit)                   \
              X(IsGameController) X(GameControllerOpen) X(GameControllerMapping)                  \
                  X(GameControllerGetAxis) X(GameControllerGetButton)                             \
                      X(GameControllerGetStringForAxis) X(GameControllerGetStringForButton)       \
                          X(GameControllerGetAxisFromString) X(GameControllerGetButtonFromString) \
                              X(JoystickGetDeviceGUID) X(JoystickGetGUIDString) X(JoystickRumble) \
                                  X(GameControllerGetJoystick)
struct Sdl {
#define DECLARE(name) decltype(&SDL_##name) name;
  SDL_CALLS(DECLARE)
};
Sdl sdl;

bool LoadSdl() {
  void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW);
  if (library == nullptr) {
    std::printf("PROBE FAIL loading SDL: %s\n", dlerror());
    return false;
  }
  bool all = true;
#define BIND(name)                                                               \
  sdl.name = reinterpret_cast<decltype(sdl.name)>(dlsym(library, "SDL_" #name)); \
  all = all && sdl.name != nullptr;
  SDL_CALLS(BIND)
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

// The index of the device of that name once it arrives, or -1.
int WaitForArrival(const char* name) {
  const Uint32 deadline = sdl.GetTicks() + 60000;
  while (sdl.GetTicks() < deadline) {
    SDL_Event event;
    while (sdl.PollEvent(&event)) {
      if (event.type == SDL_JOYDEVICEADDED) {
        const char* arrived = sdl.JoystickNameForIndex(event.jdevice.which);
        if (arrived != nullptr && std::strcmp(arrived, name) == 0) {
          return event.jdevice.which;
        }
      }
    }
    sdl.Delay(10);
  }
  return -1;
}

// The level in a rumble datagram of the feeder's ("JWr1", version 1, strong, weak, hold), read
// on `udp` within `ms`; false when none came.
bool ReadRumble(int udp, int ms, int& strong, int& weak) {
  timeval wait{ms / 1000, (ms % 1000) * 1000};
  setsockopt(udp, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  unsigned char bytes[64];
  const ssize_t size = recv(udp, bytes, sizeof bytes, 0);
  if (size != 12 || std::memcmp(bytes, "JWr1\x01", 5) != 0) {
    return false;
  }
  strong = bytes[6] | bytes[7] << 8;
  weak = bytes[8] | bytes[9] << 8;
  return true;
}

// "rumble S W" or "upload S W": the device rumbled as a game does (SDL's rumble, its effect
// uploaded to the device), and what the feeder sends back to the sender, the probe.
void Rumble(SDL_Joystick* stick, const char* command) {
  int strong = 0, weak = 0;
  char line[256];
  const bool timedOnly = std::strncmp(command, "upload", 6) == 0;
  std::sscanf(command, "%*s %d %d", &strong, &weak);
  static const int udp = socket(AF_INET, SOCK_DGRAM, 0);
  if (!timedOnly) {
    // The probe becomes the sender whose datagrams the feeder last updated from.
    sockaddr_in feeder{};
    feeder.sin_family = AF_INET;
    feeder.sin_port = htons(50000);
    feeder.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const float half[5] = {0.5f, 0, 0, 0, 0};
    sendto(udp, half, sizeof half, 0, reinterpret_cast<sockaddr*>(&feeder), sizeof feeder);
    for (const Uint32 deadline = sdl.GetTicks() + 5000;
         sdl.GetTicks() < deadline && sdl.JoystickGetAxis(stick, 0) < 10000; sdl.Delay(5)) {
      for (SDL_Event event; sdl.PollEvent(&event);) {
      }
    }
  }
  const Uint32 before = sdl.GetTicks();
  const bool played = sdl.JoystickRumble(stick, Uint16(strong), Uint16(weak), 5000) == 0;
  const Uint32 upload = sdl.GetTicks() - before;
  if (timedOnly) {
    std::snprintf(line, sizeof line, "upload %d %d took %u ms (at most 250 here)", strong, weak,
                  upload);
    Report(played && upload <= 250, line);  // served only between datagrams: the flood's 5 s
    sdl.JoystickRumble(stick, 0, 0, 0);
    return;
  }
  int gotStrong = -1, gotWeak = -1;
  for (const Uint32 deadline = sdl.GetTicks() + 3000;
       sdl.GetTicks() < deadline && !(gotStrong == strong && gotWeak == weak);) {
    ReadRumble(udp, 200, gotStrong, gotWeak);
  }
  const bool level = gotStrong == strong && gotWeak == weak;
  sdl.JoystickRumble(stick, 0, 0, 0);  // SDL stops with an effect of no strength
  int stopStrong = -1, stopWeak = -1;
  for (const Uint32 deadline = sdl.GetTicks() + 3000;
       sdl.GetTicks() < deadline && !(stopStrong == 0 && stopWeak == 0);) {
    ReadRumble(udp, 200, stopStrong, stopWeak);
  }
  std::snprintf(line, sizeof line,
                "rumble %d %d: upload %u ms; the feeder sent back %d %d, then %d %d at the stop",
                strong, weak, upload, gotStrong, gotWeak, stopStrong, stopWeak);
  Report(played && level && stopStrong == 0 && stopWeak == 0, line);
}

// The game controller's side: whether SDL maps it on its own, then each "pad" command.
int ProbeGamepad(int index) {
  char line[512];
  char guid[33];
  sdl.JoystickGetGUIDString(sdl.JoystickGetDeviceGUID(index), guid, sizeof guid);
  std::printf("probe: guid %s\n", guid);
  const char* configured = std::getenv("SDL_GAMECONTROLLERCONFIG");
  SDL_GameController* pad = sdl.IsGameController(index) ? sdl.GameControllerOpen(index) : nullptr;
  char* mapping = pad != nullptr ? sdl.GameControllerMapping(pad) : nullptr;
  std::snprintf(
      line, sizeof line, "a game controller with no mapping given (%s): %s",
      configured == nullptr ? "no SDL_GAMECONTROLLERCONFIG" : "SDL_GAMECONTROLLERCONFIG set",
      mapping != nullptr ? mapping : "no mapping");
  Report(pad != nullptr && configured == nullptr, line);
  if (pad == nullptr) {
    return 1;
  }
  // What SDL shows of a raw value: sticks over -32768..32767, triggers over 0..32767.
  const auto shown = [](int axis, int raw) {
    return axis >= SDL_CONTROLLER_AXIS_TRIGGERLEFT ? (SdlAxis(raw) + 32768) / 2 : SdlAxis(raw);
  };
  constexpr int kControls = int{SDL_CONTROLLER_AXIS_MAX} + int{SDL_CONTROLLER_BUTTON_MAX};
  for (char command[256]; std::fgets(command, sizeof command, stdin) != nullptr;) {
    if (std::strncmp(command, "pad", 3) != 0) {
      Rumble(sdl.GameControllerGetJoystick(pad), command);
      continue;
    }
    int want[kControls] = {};  // axes, then buttons
    for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis) {
      want[axis] = shown(axis, axis >= SDL_CONTROLLER_AXIS_TRIGGERLEFT ? 0 : 16383);
    }
    char control[32];
    int raw = 0, used = 0;
    bool known = true;  // a control SDL has no name for can never match
    for (const char* at = command + 3; std::sscanf(at, " %31[a-z]=%d%n", control, &raw, &used) == 2;
         at += used) {
      const int axis = sdl.GameControllerGetAxisFromString(control);
      const int button = sdl.GameControllerGetButtonFromString(control);
      known = known && (axis >= 0 || button >= 0);
      want[axis >= 0 ? axis : SDL_CONTROLLER_AXIS_MAX + button] =
          axis >= 0 ? shown(axis, raw) : raw;
    }
    bool match = false;
    std::string seen;
    for (const Uint32 deadline = sdl.GetTicks() + 10000; !match && sdl.GetTicks() < deadline;
         sdl.Delay(5)) {
      for (SDL_Event event; sdl.PollEvent(&event);) {
      }
      match = known;
      seen.clear();
      for (int i = 0; i < kControls; ++i) {
        const bool isAxis = i < SDL_CONTROLLER_AXIS_MAX;
        const auto axis = SDL_GameControllerAxis(i);
        const auto button = SDL_GameControllerButton(i - SDL_CONTROLLER_AXIS_MAX);
        const int value = isAxis ? sdl.GameControllerGetAxis(pad, axis)
                                 : sdl.GameControllerGetButton(pad, button);
        match = match && (isAxis ? std::abs(value - want[i]) <= 2 : value == want[i]);
        if (isAxis ? std::abs(value) > 2 : value != 0) {
          seen += std::string(" ") + (isAxis ? sdl.GameControllerGetStringForAxis(axis) +
                                                   std::string("=") + std::to_string(value)
                                             : sdl.GameControllerGetStringForButton(button));
        }
      }
    }
    command[std::strcspn(command, "\n")] = '\0';
    std::snprintf(line, sizeof line, "%s: SDL shows%s", command,
                  seen.empty() ? " all at rest" : seen.c_str());
    Report(match, line);
  }
  return g_failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool gamepad = argc == 3 && std::strcmp(argv[1], "--gamepad") == 0;
  if (argc != 2 && !gamepad) {
    std::fprintf(stderr, "usage: sdl-probe [--gamepad] NAME\n");
    return 2;
  }
  const char* name = argv[argc - 1];
  if (!LoadSdl()) {
    return 1;
  }
  sdl.SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (sdl.Init(gamepad ? SDL_INIT_GAMECONTROLLER : SDL_INIT_JOYSTICK) != 0) {
    std::printf("PROBE FAIL SDL_Init: %s\n", sdl.GetError());
    return 1;
  }
  SDL_version version;
  sdl.GetVersion(&version);
  std::printf("probe: SDL %d.%d.%d, waiting for \"%s\"\n", version.major, version.minor,
              version.patch, name);
  std::fflush(stdout);
  const int index = WaitForArrival(name);
  if (gamepad && index >= 0) {
    const int failures = ProbeGamepad(index);
    sdl.Quit();
    return failures;
  }
  SDL_Joystick* stick = index >= 0 ? sdl.JoystickOpen(index) : nullptr;
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
    } else if (std::strncmp(command, "rumble", 6) == 0 || std::strncmp(command, "upload", 6) == 0) {
      Rumble(stick, command);
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
