// The virtual joystick driver, reached through its library vJoyInterface.dll, loaded at run
// time. Bound by name from the operations the feeder uses; no import library is needed, and a
// machine without the driver gets the "not enabled" end instead of a loader error.
#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <utility>

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

constexpr wchar_t kLibraryName[] = L"vJoyInterface.dll";
constexpr std::size_t kLibraryNameLength = sizeof kLibraryName / sizeof kLibraryName[0] - 1;
// The longest path Windows knows (in its "\\?\" form), and the longest environment value.
constexpr std::size_t kLongestPath = 32768;

HMODULE Kernel32() {
  return ::GetModuleHandleW(L"kernel32.dll");
}

// The search flags of LoadLibraryExW (LOAD_LIBRARY_SEARCH_*) came with Windows 8, and with
// update KB2533623 on Windows 7, together with AddDllDirectory. Without them the flags fail.
bool HasSearchFlags() {
  return ::GetProcAddress(Kernel32(), "AddDllDirectory") != nullptr;
}

// For every load in the process from now on, the driver library's own included: never the
// current folder.
void KeepCurrentFolderOutOfSearches() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  SetDefaultDllDirectoriesFunction setDefault = nullptr;
  Bind(Kernel32(), "SetDefaultDllDirectories", setDefault);
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
    ::SetDllDirectoryW(L"");
  }
}

// Loads FOLDER\vJoyInterface.dll by its full path, of any length; the library's own
// dependencies come from its folder and the system folder.
HMODULE LoadFromFolder(const wchar_t* folder, std::size_t length) {
  static wchar_t path[kLongestPath];
  constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
  constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
  if (length == 0 || length + kLibraryNameLength + 16 > kLongestPath) {
    return nullptr;
  }
  std::size_t used = 0;
  const bool alreadyLong = length >= 4 && folder[0] == L'\\' && folder[1] == L'\\' &&
                           folder[2] == L'?' && folder[3] == L'\\';
  const bool unc = !alreadyLong && length >= 2 && folder[0] == L'\\' && folder[1] == L'\\';
  std::size_t from = 0;
  if (!alreadyLong && length + kLibraryNameLength + 1 >= MAX_PATH) {
    // Past MAX_PATH only the "\\?\" form reaches the file; it takes backslashes only.
    const wchar_t* prefix = unc ? kLongUncPrefix : kLongPrefix;
    for (; prefix[used] != L'\0'; ++used) {
      path[used] = prefix[used];
    }
    from = unc ? 2 : 0;
  }
  for (std::size_t i = from; i < length; ++i) {
    path[used++] = folder[i] == L'/' ? L'\\' : folder[i];
  }
  if (path[used - 1] != L'\\') {
    path[used++] = L'\\';
  }
  for (std::size_t i = 0; i <= kLibraryNameLength; ++i) {
    path[used + i] = kLibraryName[i];
  }
  if (HasSearchFlags()) {
    return ::LoadLibraryExW(path, nullptr,
                            LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  // The older way to have a library's dependencies found beside it.
  return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// "C:\..." or "\\server\share\...": a PATH entry that does not depend on the current folder.
bool IsAbsolute(const wchar_t* entry, std::size_t length) {
  const bool drive = length >= 3 && entry[1] == L':' && (entry[2] == L'\\' || entry[2] == L'/');
  const bool unc = length >= 2 && entry[0] == L'\\' && entry[1] == L'\\';
  return drive || unc;
}

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// A PATH entry as Windows reads it: blanks around it and its quotes do not count.
std::size_t CleanEntry(const wchar_t* entry, std::size_t length, wchar_t* out) {
  std::size_t used = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (entry[i] != L'"') {
      out[used++] = entry[i];
    }
  }
  std::size_t start = 0;
  while (start < used && IsBlank(out[start])) {
    ++start;
  }
  while (used > start && IsBlank(out[used - 1])) {
    --used;
  }
  for (std::size_t i = start; i < used; ++i) {
    out[i - start] = out[i];
  }
  return used - start;
}

// Only places named in full: the executable's folder, the system folder, then the absolute
// entries of PATH. Never the current folder or a relative PATH entry, where anyone who can
// write a folder the operator starts joywire from could plant a library.
HMODULE LoadDriverLibrary() {
  KeepCurrentFolderOutOfSearches();
  static wchar_t path[kLongestPath];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, kLongestPath);
  if (length > 0 && length < kLongestPath) {
    DWORD slash = length;
    while (slash > 0 && path[slash - 1] != L'\\' && path[slash - 1] != L'/') {
      --slash;
    }
    if (HMODULE module = LoadFromFolder(path, slash)) {
      return module;
    }
  }
  const UINT systemLength = ::GetSystemDirectoryW(path, kLongestPath);
  if (systemLength > 0 && systemLength < kLongestPath) {
    if (HMODULE module = LoadFromFolder(path, systemLength)) {
      return module;
    }
  }
  static wchar_t searchPath[kLongestPath];
  const DWORD pathLength = ::GetEnvironmentVariableW(L"PATH", searchPath, kLongestPath);
  if (pathLength == 0 || pathLength >= kLongestPath) {
    return nullptr;
  }
  for (const wchar_t* entry = searchPath; *entry != L'\0';) {
    std::size_t entryLength = 0;
    while (entry[entryLength] != L'\0' && entry[entryLength] != L';') {
      ++entryLength;
    }
    const std::size_t cleaned = CleanEntry(entry, entryLength, path);
    if (IsAbsolute(path, cleaned)) {
      if (HMODULE module = LoadFromFolder(path, cleaned)) {
        return module;
      }
    }
    entry += entryLength;
    if (*entry == L';') {
      ++entry;
    }
  }
  return nullptr;
}

// Standard output carries the run's own lines only; what is missing and what to do about it is
// said on standard error, once, as on Linux.
void SayWhy(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SayWhy(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::fputs("joywire: ", stderr);
  std::vfprintf(stderr, format, arguments);
  std::fputs("\n", stderr);
  std::fflush(stderr);
  va_end(arguments);
}

bool LoadDriver() {
  const HMODULE module = LoadDriverLibrary();
  if (module == nullptr) {
    SayWhy(
        "vJoyInterface.dll was not found beside joywire.exe, in the system folder or on PATH: "
        "install the vJoy driver, or put its vJoyInterface.dll (x64) beside joywire.exe");
    return false;
  }
  bool all = true;
  const std::pair<const char*, bool> bindings[] = {
      {"vJoyEnabled", Bind(module, "vJoyEnabled", g_library.enabled)},
      {"GetvJoyManufacturerString",
       Bind(module, "GetvJoyManufacturerString", g_library.manufacturer)},
      {"GetvJoyProductString", Bind(module, "GetvJoyProductString", g_library.product)},
      {"GetvJoySerialNumberString",
       Bind(module, "GetvJoySerialNumberString", g_library.serialNumber)},
      {"GetVJDStatus", Bind(module, "GetVJDStatus", g_library.status)},
      {"AcquireVJD", Bind(module, "AcquireVJD", g_library.acquire)},
      {"UpdateVJD", Bind(module, "UpdateVJD", g_library.update)}};
  for (const auto& [name, bound] : bindings) {
    if (!bound && all) {
      SayWhy("the vJoyInterface.dll found has no %s: not the driver's library, or an old one",
             name);
    }
    all = all && bound;
  }
  if (!all) {
    // Not the driver's library, or a version without an operation we need: let it go.
    ::FreeLibrary(module);
    g_library = DriverLibrary{};
  }
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
  platform.vJoyEnabled = [] {
    const int enabled = static_cast<int>(g_library.enabled());
    if (enabled == 0) {
      SayWhy(
          "the vJoy driver is not enabled: enable it in \"Configure vJoy\" (vJoyConf), or "
          "install the driver");
    }
    return enabled;
  };
  platform.GetvJoyManufacturerString = [] { return AsWide(g_library.manufacturer()); };
  platform.GetvJoyProductString = [] { return AsWide(g_library.product()); };
  platform.GetvJoySerialNumberString = [] { return AsWide(g_library.serialNumber()); };
  platform.GetVJDStatus = [](std::uint32_t device) {
    const int status = g_library.status(device);
    if (status == kDeviceBusy) {
      SayWhy("vJoy device %u is in use by another feeder", static_cast<unsigned>(device));
    } else if (status == kDeviceMissing) {
      SayWhy("vJoy device %u does not exist: add it in \"Configure vJoy\" (vJoyConf)",
             static_cast<unsigned>(device));
    } else if (status != kDeviceOwned && status != kDeviceFree) {
      SayWhy("the vJoy driver cannot tell the state of device %u", static_cast<unsigned>(device));
    }
    return status;
  };
  platform.AcquireVJD = [](std::uint32_t device) {
    const int acquired = static_cast<int>(g_library.acquire(device));
    if (acquired == 0) {
      SayWhy("vJoy device %u could not be acquired", static_cast<unsigned>(device));
    }
    return acquired;
  };
  platform.UpdateVJD = [](std::uint32_t device, PositionRecord* record) {
    return static_cast<int>(g_library.update(device, record->bytes));
  };
}

}  // namespace joywire
