#pragma once

#include <string>
#include <vector>

#include "phone/pairing/local_authority.h"
#include "platform/user_files.h"

namespace joywire {

// A server certificate for this start, kept in memory only: a new P-256 key, the served
// addresses (IP addresses, or the machine's .local name) and localhost as its names, for
// server authentication, valid 397 days at most.
bool IssueServerCertificate(const LocalAuthority& authority,
                            const std::vector<std::string>& addresses, Key& key,
                            Certificate& certificate, std::string& error);

// The server certificate kept with the authority, so that a phone that tapped through the
// browser's warning for it meets the same one after a restart: used again while it comes from
// `authority`, names exactly `addresses` (and localhost) and has more than 30 days left; else
// a new one is issued and kept (`renewed`).
inline constexpr char kServerKeyFile[] = "server.key";
inline constexpr char kServerCertificateFile[] = "server.crt";
bool KeptServerCertificate(KeptFolder& folder, const LocalAuthority& authority,
                           const std::vector<std::string>& addresses, Key& key,
                           Certificate& certificate, bool& renewed, std::string& error);

// Keeps a server certificate and its key (PEM) in the folder at `path`, under its lock.
bool KeepServerCertificate(const std::string& path, const std::string& keyPem,
                           const std::string& certificatePem);

}  // namespace joywire
