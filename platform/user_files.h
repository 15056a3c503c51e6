#pragma once

#include <string>

namespace joywire {

// Files of the user's own that joywire-send keeps between runs.

// The user's configuration folder for joywire: $XDG_CONFIG_HOME/joywire or ~/.config/joywire
// (%APPDATA%\joywire on Windows). Empty when it cannot be told.
std::string UserConfigFolder();

// Makes the folder (and its parents) if it is missing, open to its owner only.
bool MakePrivateFolder(const std::string& path);

// Writes the file anew, readable and writable by its owner only (mode 0600; on Windows an
// access list that names the owner alone). False if it cannot.
bool WritePrivateFile(const std::string& path, const std::string& bytes);

// Writes the file anew with the usual permissions.
bool WriteUserFile(const std::string& path, const std::string& bytes);

// The whole file, or false.
bool ReadUserFile(const std::string& path, std::string& bytes);

// Deletes the file; false when there was none.
bool DeleteUserFile(const std::string& path);

// This machine's name, for what the user sees; "this machine" when it has none.
std::string MachineName();

}  // namespace joywire
