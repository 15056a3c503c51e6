#include "platform/user_files.h"

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

#include "feeder/wide_text.h"
#include "platform/secure_random.h"

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

// Whether the object's owner is this user (or the owner this user's new objects get, as the
// Administrators group for an elevated administrator).
bool OwnedByThisUser(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool mine = false;
  HANDLE token = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
      unsigned char buffer[256];
      DWORD length = 0;
      if (::GetTokenInformation(token, kind, buffer, sizeof buffer, &length)) {
        // TOKEN_USER and TOKEN_OWNER both begin with the SID's pointer.
        PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid
                                     : reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner;
        mine = mine || ::EqualSid(sid, owner) != 0;
      }
    }
    ::CloseHandle(token);
  }
  ::LocalFree(descriptor);
  return mine;
}

// Why the open file or folder is no place for joywire-send's files; empty when it is one.
std::string Unfit(HANDLE object, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(object, &information)) {
    return "cannot read " + path;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return path + " is a link: remove it, and start again";
  }
  if (!OwnedByThisUser(object)) {
    return path + " belongs to another user: remove it, and start again";
  }
  return {};
}

HANDLE OpenWithoutFollowing(const std::string& path, DWORD access, DWORD share, DWORD flags) {
  return ::CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                       flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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

KeptFolder::~KeptFolder() {
  if (handle_ != -1) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // and with it the lock
  }
}

KeptFolder::Found KeptFolder::Open(const std::string& path, bool make, std::string& error) {
  path_ = path;
  while (path_.size() > 3 && (path_.back() == '\\' || path_.back() == '/')) {
    path_.pop_back();
  }
  if (make) {
    OwnerOnly security(L"D:P(A;OICI;FA;;;OW)");
    ::CreateDirectoryW(Wide(path_).c_str(), security.get());
  }
  const HANDLE folder = OpenWithoutFollowing(
      path_, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_BACKUP_SEMANTICS);
  if (folder == INVALID_HANDLE_VALUE) {
    const DWORD why = ::GetLastError();
    if (!make && (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND)) {
      return Found::kMissing;
    }
    error = "cannot open " + path_ + " (error " + std::to_string(why) + ")";
    return Found::kRefused;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  ::GetFileInformationByHandle(folder, &information);
  error = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0
              ? path_ + " is no folder: remove it, and start again"
              : Unfit(folder, path_);
  ::CloseHandle(folder);
  return error.empty() ? Found::kYes : Found::kRefused;
}

bool KeptFolder::Lock() {
  if (handle_ != -1) {
    return true;  // held already
  }
  const HANDLE lock = ::CreateFileW(Wide(path_ + "\\.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (lock == INVALID_HANDLE_VALUE) {
    return false;
  }
  OVERLAPPED whole{};
  if (!::LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
    ::CloseHandle(lock);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(lock);
  return true;
}

KeptFolder::Found KeptFolder::Read(const char* name, bool, std::string& bytes, std::string& error) {
  const std::string path = path_ + "\\" + name;
  const HANDLE file = OpenWithoutFollowing(path, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                                           FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD why = ::GetLastError();
    if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND) {
      return Found::kMissing;
    }
    error = "cannot read " + path + " (error " + std::to_string(why) + ")";
    return Found::kRefused;
  }
  // A secret one was written with an access list that names its owner alone.
  error = Unfit(file, path);
  bytes.clear();
  char chunk[4096];
  DWORD got = 0;
  while (error.empty() && ::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes.append(chunk, got);
  }
  ::CloseHandle(file);
  return error.empty() ? Found::kYes : Found::kRefused;
}

bool KeptFolder::Write(const char* name, const std::string& bytes, bool secret) {
  unsigned char random[6] = {};
  SecureRandomBytes(random, sizeof random);
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%02x%02x%02x%02x%02x%02x", random[0], random[1], random[2],
                random[3], random[4], random[5]);
  const std::wstring fresh = Wide(path_ + "\\." + name + "." + suffix);
  OwnerOnly security(L"D:P(A;;FA;;;OW)");
  const HANDLE file =
      ::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, secret ? security.get() : nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE || (secret && security.get() == nullptr)) {
    return false;
  }
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && ::FlushFileBuffers(file);
  ::CloseHandle(file);
  if (!ok || !::MoveFileExW(fresh.c_str(), Wide(path_ + "\\" + name).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(fresh.c_str());
    return false;
  }
  return true;
}

bool KeptFolder::Remove(const char* name) {
  const bool removed = ::DeleteFileW(Wide(path_ + "\\" + name).c_str()) != 0;
  // What a write cut short left: ".NAME.<random>", and "NAME.new" of earlier versions.
  ::DeleteFileW(Wide(path_ + "\\" + name + ".new").c_str());
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW(Wide(path_ + "\\." + name + ".*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      ::DeleteFileW(Wide(path_ + "\\" + Narrow(found.cFileName)).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  return removed;
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
