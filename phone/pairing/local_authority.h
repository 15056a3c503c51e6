#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/user_files.h"

namespace joywire {

// OpenSSL's objects, freed with their owners.
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;

// The local certificate authority that a phone can trust for this machine: an EC P-256 key
// and a self-signed certificate "joywire local CA on <host name>", made once and kept in the
// user's configuration folder, the key readable by its owner only. Name constraints limit what
// it may sign to IP addresses in the private and loopback ranges and the names localhost and
// *.local, so that a phone that trusts it trusts it for nothing else.
struct LocalAuthority {
  Key key;
  Certificate certificate;
  bool made;  // made on this start, rather than read back
};

// OpenSSL set up without its configuration file: what a machine's openssl.cnf or OPENSSL_CONF
// says cannot change what is served. Before any other use of OpenSSL.
void UseOpenSslAsBuilt();

// The authority's files in joywire-send's folder.
inline constexpr char kAuthorityKeyFile[] = "ca.key";
inline constexpr char kAuthorityCertificateFile[] = "ca.crt";

// Reads the authority back from `folder`, or makes it there when there is none, under the
// folder's lock (so that two starts at once end with one authority, used by both). False, with
// the reason in `error`, when neither works, or when what is there is not an authority that
// joywire-send made: a key readable by others, one that does not match its certificate, a
// certificate without exactly joywire's limits.
bool LoadLocalAuthority(KeptFolder& folder, LocalAuthority& authority, std::string& error);

// Deletes the authority's files from `folder`; false when there were none.
bool ForgetLocalAuthority(KeptFolder& folder);

// The certificate's SHA-256 fingerprint as phones show it: "AB:CD:...".
std::string Fingerprint(X509* certificate);

}  // namespace joywire
