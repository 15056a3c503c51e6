#pragma once

// The HTTPS mode's identity: the local authority (made on the first start), and the server
// certificate for the addresses a phone can trust it for, kept while it fits and renewed for an
// address that comes up later.
#include <string>
#include <vector>

#include "phone/pairing/local_authority.h"
#include "platform/user_files.h"

namespace joywire {

// The certificate the server hands out: the server certificate and the authority's, and the
// server's private key, all PEM; and the addresses the certificate names.
struct TlsIdentity {
  std::string certificateChain;
  std::string privateKey;
  std::vector<std::string> addresses;
};

inline constexpr char kNewCertificate[] =
    "joywire-send: new certificate: phones that tapped through the warning must do it once more";

// The addresses a phone can trust the local authority for: private ones, and 127.0.0.1; and
// the machine's .local name.
bool IsPrivateOrLoopback(const std::string& address);

// The authority and the server certificate for `addresses`, told on the terminal; the identity
// the server hands out, and the authority's certificate as the trust page offers it.
bool PrepareHttps(KeptFolder& folder, const std::vector<std::string>& addresses,
                  LocalAuthority& authority, TlsIdentity& identity, std::string& authorityDer);

// A certificate that names one more address, for a network that came up after the start; kept
// in the folder by a thread of its own, so that no file is waited for here.
bool NameAnotherAddress(const LocalAuthority& authority, const std::string& folder,
                        const std::string& address, TlsIdentity& identity);

}  // namespace joywire
