// The virtual joystick driver, reached through its library vJoyInterface.dll, loaded at run
// time. Bound by name from the operations the feeder uses; no import library is needed, and a
// machine without the driver gets the "not enabled" end instead of a loader error.
#include <windows.h>

#include "feeder/platform.h"

namespace joywire {

namespace {

// The library's calling shapes: yes-or-no calls return BOOL, the strings are wide-character
// text owned by the library, and the status is an int-sized enumeration.
using EnabledFunction = BOOL (*)();
using StringFunction = PVOID (*)();
using StatusFunction = int (*)(UINT);
using AcquireFunction = BOOL (*)(UINT);
using UpdateFunction = BOOL (*)(UINT, PVOID);

struct DriverLibrary {
  EnabledFunction enabled;
  StringFunction manufacturer;
  StringFunction product;
  StringFunction serialNumber;
  StatusFunction status;
  AcquireFunction acquire;
  UpdateFunction update;
};

DriverLibrary g_library{};

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& function) {
  const FARPROC address = ::GetProcAddress(module, name);
  // Through the generic function type, so the conversion is explicit and warning-free.
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
  return address != nullptr;
}

// The executable's own folder first, then the system's search path (the current folder
// excluded, so a stray DLL there is never picked up).
HMODULE LoadDriverLibrary() {
  ::SetDllDirectoryW(L"");
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    DWORD slash = length;
    while (slash > 0 && path[slash - 1] != L'\\' && path[slash - 1] != L'/') {
      --slash;
    }
    constexpr wchar_t kName[] = L"vJoyInterface.dll";
    if (slash + sizeof kName / sizeof kName[0] <= MAX_PATH) {
      for (DWORD i = 0; i < sizeof kName / sizeof kName[0]; ++i) {
        path[slash + i] = kName[i];
      }
      if (HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
        return module;
      }
    }
  }
  return ::LoadLibraryW(L"vJoyInterface.dll");
}

bool LoadDriver() {
  const HMODULE module = LoadDriverLibrary();
  if (module == nullptr) {
    return false;
  }
  bool all = true;
  all &= Bind(module, "vJoyEnabled", g_library.enabled);
  all &= Bind(module, "GetvJoyManufacturerString", g_library.manufacturer);
  all &= Bind(module, "GetvJoyProductString", g_library.product);
  all &= Bind(module, "GetvJoySerialNumberString", g_library.serialNumber);
  all &= Bind(module, "GetVJDStatus", g_library.status);
  all &= Bind(module, "AcquireVJD", g_library.acquire);
  all &= Bind(module, "UpdateVJD", g_library.update);
  return all;
}

int NotEnabled() {
  return 0;
}

const wchar_t* AsWide(PVOID text) {
  return static_cast<const wchar_t*>(text);
}

}  // namespace

void InstallDriver(Platform& platform) {
  if (!LoadDriver()) {
    // A missing library or a missing operation: the driver counts as not enabled, and the
    // run ends before it would call anything else.
    platform.vJoyEnabled = NotEnabled;
    return;
  }
  platform.vJoyEnabled = [] { return static_cast<int>(g_library.enabled()); };
  platform.GetvJoyManufacturerString = [] { return AsWide(g_library.manufacturer()); };
  platform.GetvJoyProductString = [] { return AsWide(g_library.product()); };
  platform.GetvJoySerialNumberString = [] { return AsWide(g_library.serialNumber()); };
  platform.GetVJDStatus = [](std::uint32_t device) { return g_library.status(device); };
  platform.AcquireVJD = [](std::uint32_t device) {
    return static_cast<int>(g_library.acquire(device));
  };
  platform.UpdateVJD = [](std::uint32_t device, PositionRecord* record) {
    return static_cast<int>(g_library.update(device, record->bytes));
  };
}

}  // namespace joywire
