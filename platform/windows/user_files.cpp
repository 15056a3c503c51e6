#include "platform/user_files.h"

#include <windows.h>
// After windows.h, which they need.
#include <sddl.h>

#include <cstdio>

#include "feeder/wide_text.h"

namespace joywire {

namespace {

std::wstring Wide(const std::string& text) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

std::string Narrow(const wchar_t* text) {
  std::string narrow(4 * ::lstrlenW(text) + 1, '\0');
  WideToUtf8(text, narrow.data(), narrow.size());
  narrow.resize(std::char_traits<char>::length(narrow.c_str()));
  return narrow;
}

// Owner Rights (OW) alone, full access, inherited by nothing from above.
class OwnerOnly {
 public:
  explicit OwnerOnly(const wchar_t* descriptor) {
    attributes_.nLength = sizeof attributes_;
    attributes_.bInheritHandle = FALSE;
    ok_ = ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
              descriptor, SDDL_REVISION_1, &attributes_.lpSecurityDescriptor, nullptr) != 0;
  }
  ~OwnerOnly() { ::LocalFree(attributes_.lpSecurityDescriptor); }
  OwnerOnly(const OwnerOnly&) = delete;
  OwnerOnly& operator=(const OwnerOnly&) = delete;
  SECURITY_ATTRIBUTES* get() { return ok_ ? &attributes_ : nullptr; }

 private:
  SECURITY_ATTRIBUTES attributes_{};
  bool ok_ = false;
};

bool WriteWith(const std::string& path, const std::string& bytes, SECURITY_ATTRIBUTES* security) {
  const std::wstring fresh = Wide(path + ".new");
  ::DeleteFileW(fresh.c_str());
  const HANDLE file = ::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && ::FlushFileBuffers(file);
  ::CloseHandle(file);
  if (!ok || !::MoveFileExW(fresh.c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(fresh.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string UserConfigFolder() {
  wchar_t folder[MAX_PATH * 4];
  const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) {
    return {};
  }
  return Narrow(folder) + "\\joywire";
}

bool MakePrivateFolder(const std::string& path) {
  OwnerOnly security(L"D:P(A;OICI;FA;;;OW)");
  if (::CreateDirectoryW(Wide(path).c_str(), security.get())) {
    return true;
  }
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WritePrivateFile(const std::string& path, const std::string& bytes) {
  OwnerOnly security(L"D:P(A;;FA;;;OW)");
  return security.get() != nullptr && WriteWith(path, bytes, security.get());
}

bool WriteUserFile(const std::string& path, const std::string& bytes) {
  return WriteWith(path, bytes, nullptr);
}

bool ReadUserFile(const std::string& path, std::string& bytes) {
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  bytes.clear();
  char chunk[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ::ReadFile(file, chunk, sizeof chunk, &got, nullptr) != 0) && got > 0) {
    bytes.append(chunk, got);
  }
  ::CloseHandle(file);
  return ok;
}

bool DeleteUserFile(const std::string& path) {
  return ::DeleteFileW(Wide(path).c_str()) != 0;
}

std::string MachineName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &length) || length == 0) {
    return "this machine";
  }
  return Narrow(name);
}

}  // namespace joywire
