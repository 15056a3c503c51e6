#pragma once

#include <cstdint>
#include <string>

namespace joywire {

// Files of the user's own that joywire-send keeps between runs.

// The user's configuration folder for joywire: $XDG_CONFIG_HOME/joywire or ~/.config/joywire
// (%APPDATA%\joywire on Windows). Empty when it cannot be told.
std::string UserConfigFolder();

// A folder where joywire-send keeps what outlives a run (its certificate authority, the pairing
// token): the user's own and closed to other users, its files read and written without
// following links, each written whole or not at all. Each platform folder implements it.
class KeptFolder {
 public:
  KeptFolder() = default;
  ~KeptFolder();
  KeptFolder(const KeptFolder&) = delete;
  KeptFolder& operator=(const KeptFolder&) = delete;

  enum class Found { kYes, kMissing, kRefused };

  // Opens the folder at `path`; `make`: made with its parents when it is missing, closed to
  // others. kRefused, with one line in `error` that says what is wrong and what to do, when it
  // is not a folder of this user's own that only this user may change (a link to one counts as
  // not).
  Found Open(const std::string& path, bool make, std::string& error);

  // Waits for the folder's lock, then holds it until this is destroyed: what one start reads
  // and makes there, another start sees whole.
  bool Lock();

  // Reads `name` whole. kRefused, with the reason in `error`, when it is not a file of this
  // user's own that only this user may change, or when a `secret` one is readable by others.
  Found Read(const char* name, bool secret, std::string& bytes, std::string& error);

  // Writes `name` anew through a file of a name of its own that then takes its place at once;
  // a `secret` one readable by this user alone from the start.
  bool Write(const char* name, const std::string& bytes, bool secret);

  // Deletes `name`, and what an interrupted write of it may have left; false when there was
  // none.
  bool Remove(const char* name);

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::intptr_t handle_ = -1;  // the open folder (POSIX), or its lock file (Windows)
};

// This machine's name, for what the user sees; "this machine" when it has none.
std::string MachineName();

}  // namespace joywire
