#include "phone/pairing/https_identity.h"

#include <cstdio>
#include <thread>

#include "phone/pairing/certificate_parts.h"
#include "phone/pairing/pairing.h"
#include "phone/pairing/private_ranges.h"
#include "phone/pairing/server_certificate.h"
#include "platform/terminal.h"

namespace joywire {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator[] = "\\";
#else
constexpr char kPathSeparator[] = "/";
#endif

// Loopback addresses besides 127.0.0.1 (127.0.1.1 is Debian's host name): no phone reaches the
// machine there, so no certificate names them and none is made for them; any local process
// could otherwise make the kept certificate change at will.
bool IsOtherLoopback(const std::string& address) {
  return address.rfind("127.", 0) == 0 && address != "127.0.0.1";
}

// The identity the server hands out: the server certificate, the authority's, its key, names.
TlsIdentity IdentityOf(const LocalAuthority& authority, const Key& key,
                       const Certificate& certificate, const std::vector<std::string>& names) {
  return TlsIdentity{
      CertificatePem(certificate.get()) + CertificatePem(authority.certificate.get()),
      PrivateKeyPem(key.get()), names};
}

}  // namespace

bool IsPrivateOrLoopback(const std::string& address) {
  if (IsName(address)) {
    return true;
  }
  unsigned octet[4] = {};
  if (std::sscanf(address.c_str(), "%u.%u.%u.%u", &octet[0], &octet[1], &octet[2], &octet[3]) !=
          4 ||
      octet[0] > 255 || octet[1] > 255 || octet[2] > 255 || octet[3] > 255 ||
      IsOtherLoopback(address)) {
    return false;
  }
  return InPrivateRange(octet[0] << 24 | octet[1] << 16 | octet[2] << 8 | octet[3]);
}

bool PrepareHttps(KeptFolder& folder, const std::vector<std::string>& addresses,
                  LocalAuthority& authority, TlsIdentity& identity, std::string& authorityDer) {
  std::string error;
  if (!LoadLocalAuthority(folder, authority, error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error.c_str());
    return false;
  }
  if (authority.made) {
    std::printf(
        "joywire-send: made this machine's certificate authority, %s (for phones to "
        "trust; --forget-ca deletes it)\n",
        (folder.Path() + kPathSeparator + kAuthorityCertificateFile).c_str());
  }
  // What a person compares with what the phone shows before trusting it.
  std::printf("joywire-send: certificate authority's SHA-256 fingerprint: %s\n",
              Fingerprint(authority.certificate.get()).c_str());
  std::vector<std::string> trusted;
  for (const std::string& address : addresses) {
    if (IsPrivateOrLoopback(address)) {
      trusted.push_back(address);
    } else if (!IsOtherLoopback(address)) {
      std::printf("joywire-send: %s is no private address: phones cannot trust HTTPS there\n",
                  address.c_str());
    }
  }
  Key key;
  Certificate certificate;
  bool renewed = false;
  if (!KeptServerCertificate(folder, authority, trusted, key, certificate, renewed, error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error.c_str());
    return false;
  }
  if (renewed) {
    std::printf("%s\n", kNewCertificate);
  }
  identity = IdentityOf(authority, key, certificate, trusted);
  authorityDer = CertificateDer(authority.certificate.get());
  return true;
}

bool NameAnotherAddress(const LocalAuthority& authority, const std::string& folder,
                        const std::string& address, TlsIdentity& identity) {
  if (!IsPrivateOrLoopback(address)) {
    return false;
  }
  std::vector<std::string> names = identity.addresses;
  names.push_back(address);
  Key key;
  Certificate certificate;
  std::string error;
  if (!IssueServerCertificate(authority, names, key, certificate, error)) {
    return false;
  }
  identity = IdentityOf(authority, key, certificate, names);
  std::thread([folder, key = identity.privateKey, pem = CertificatePem(certificate.get())] {
    TakeNoSignalsOnThisThread();
    KeepServerCertificate(folder, key, pem);
  }).detach();
  return true;
}

}  // namespace joywire
