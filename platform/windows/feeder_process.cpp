#include "platform/feeder_process.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace joywire {

namespace {

std::wstring Wide(const char* text) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

}  // namespace

bool StartFeeder(const char* path, const char* device, const char* address, FeederProcess& feeder,
                 char* error, std::size_t errorCapacity) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  const HANDLE nothing =
      ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
  HANDLE messages = nullptr;  // ours: what it writes to its standard output
  HANDLE itsOutput = nullptr;
  if (!::CreatePipe(&read, &write, &inherited, 0)) {
    std::snprintf(error, errorCapacity, "cannot start %s (error %lu)", path, ::GetLastError());
    return false;
  }
  if (!::CreatePipe(&messages, &itsOutput, &inherited, 0)) {
    std::snprintf(error, errorCapacity, "cannot start %s (error %lu)", path, ::GetLastError());
    ::CloseHandle(read);
    ::CloseHandle(write);
    return false;
  }
  ::SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(messages, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = read;
  startup.hStdOutput = itsOutput;
  startup.hStdError = nothing;
  std::wstring command = L"\"" + Wide(path) + L"\" " + Wide(device);
  PROCESS_INFORMATION started{};
  // No console of its own: closing the launcher's window ends joywire-send, which sends the
  // neutral position before it ends this one, not both at once. A job ends it with us.
  const HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  const bool ok =
      job != nullptr &&
      ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
      ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
  const DWORD why = ::GetLastError();
  ::CloseHandle(read);
  ::CloseHandle(itsOutput);
  if (nothing != INVALID_HANDLE_VALUE) {
    ::CloseHandle(nothing);
  }
  if (!ok) {
    ::CloseHandle(write);
    ::CloseHandle(messages);
    if (job != nullptr) {
      ::CloseHandle(job);
    }
    std::snprintf(error, errorCapacity, "cannot start %s (error %lu)", path, why);
    return false;
  }
  ::AssignProcessToJobObject(job, started.hProcess);
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);
  const std::string line = std::string(address) + "\r\n";
  DWORD written = 0;
  ::WriteFile(write, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  feeder.process = reinterpret_cast<std::intptr_t>(job);
  feeder.input = reinterpret_cast<std::intptr_t>(write);
  feeder.output = reinterpret_cast<std::intptr_t>(messages);
  feeder.handle = reinterpret_cast<std::intptr_t>(started.hProcess);
  return true;
}

std::size_t ReadFeederOutput(FeederProcess& feeder, char* buffer, std::size_t capacity) {
  DWORD waiting = 0;
  DWORD got = 0;
  const HANDLE output = reinterpret_cast<HANDLE>(feeder.output);
  if (feeder.output == -1 || !::PeekNamedPipe(output, nullptr, 0, nullptr, &waiting, nullptr) ||
      waiting == 0 ||
      !::ReadFile(output, buffer, static_cast<DWORD>(waiting < capacity ? waiting : capacity), &got,
                  nullptr)) {
    return 0;
  }
  return got;
}

bool FeederEnded(FeederProcess& feeder, int& status) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  if (feeder.process == -1 ||
      !::QueryInformationJobObject(reinterpret_cast<HANDLE>(feeder.process),
                                   JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr) ||
      accounting.ActiveProcesses != 0) {
    return false;
  }
  DWORD code = 0;
  status =
      feeder.handle != -1 && ::GetExitCodeProcess(reinterpret_cast<HANDLE>(feeder.handle), &code)
          ? static_cast<int>(code)  // -5 is 0xFFFFFFFB: the same 32 bits
          : -1;
  return true;
}

void StopFeeder(FeederProcess& feeder) {
  if (feeder.process != -1) {
    ::TerminateJobObject(reinterpret_cast<HANDLE>(feeder.process), 0);
    ::CloseHandle(reinterpret_cast<HANDLE>(feeder.process));
    feeder.process = -1;
  }
  for (std::intptr_t* handle : {&feeder.input, &feeder.output, &feeder.handle}) {
    if (*handle != -1) {
      ::CloseHandle(reinterpret_cast<HANDLE>(*handle));
      *handle = -1;
    }
  }
}

}  // namespace joywire
