#pragma once

// OpenSSL's pieces that the authority and the server certificate share.
#include <openssl/bio.h>

#include <memory>
#include <string>

#include "phone/pairing/local_authority.h"

namespace joywire {

inline constexpr long kHour = 60 * 60;
inline constexpr long kDay = 24 * kHour;

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

// What OpenSSL says went wrong, after `what`.
std::string OpenSslError(const char* what);
// What a memory BIO holds.
std::string BioText(BIO* bio);
// Adds an X.509 v3 extension, in OpenSSL's configuration syntax, `issuer` its issuer.
bool AddExtension(X509* certificate, X509* issuer, int nid, const char* value);
// A certificate's frame: version 3, a random serial, a validity from an hour ago, a subject.
Certificate NewCertificate(const std::string& commonName, long days);
// A PEM key or certificate; never asks for a pass phrase (an encrypted key is no key of ours).
int NoPassPhrase(char*, int, int, void*);

// A private key in PEM (PKCS #8), for the TLS server; kept in memory.
std::string PrivateKeyPem(EVP_PKEY* key);
// The certificate in DER, as /ca.crt serves it, and in PEM.
std::string CertificateDer(X509* certificate);
std::string CertificatePem(X509* certificate);

}  // namespace joywire
