#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

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

// The folder and its files, made by LoadLocalAuthority when they are missing.
std::string AuthorityFolder();
std::string AuthorityKeyPath();
std::string AuthorityCertificatePath();

// Reads the authority back, or makes it (and the folder) when there is none. False, with the
// reason in `error`, when neither works.
bool LoadLocalAuthority(LocalAuthority& authority, std::string& error);

// Deletes the authority's files; false when there was none.
bool ForgetLocalAuthority();

// A server certificate for this start, kept in memory only: a new P-256 key, the served
// addresses and localhost as its names, for server authentication, valid 397 days at most.
bool IssueServerCertificate(const LocalAuthority& authority,
                            const std::vector<std::string>& addresses, Key& key,
                            Certificate& certificate, std::string& error);

// A private key in PEM (PKCS #8), for the TLS server; kept in memory.
std::string PrivateKeyPem(EVP_PKEY* key);

// The certificate in DER, as /ca.crt serves it, and in PEM.
std::string CertificateDer(X509* certificate);
std::string CertificatePem(X509* certificate);

}  // namespace joywire
