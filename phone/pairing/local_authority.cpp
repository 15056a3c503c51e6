// The local certificate authority, through OpenSSL's own key, certificate and extension
// functions.
#include "phone/pairing/local_authority.h"

#include "phone/pairing/certificate_parts.h"
#include "phone/pairing/private_ranges.h"
#include "phone/pairing/server_certificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace joywire {

namespace {

constexpr long kAuthorityDays = 10 * 365;

// Only what a phone on the local network needs: private and loopback IPv4 ranges, localhost and
// *.local.
constexpr char kBasicConstraints[] = "critical,CA:TRUE,pathlen:0";
const char* NameConstraints() {
  static const std::string text = PrivateNameConstraints();
  return text.c_str();
}

bool MakeAuthority(KeptFolder& folder, LocalAuthority& authority, std::string& error) {
  authority.key.reset(EVP_EC_gen("P-256"));
  authority.certificate = NewCertificate("joywire local CA on " + MachineName(), kAuthorityDays);
  X509* certificate = authority.certificate.get();
  const bool ok =
      authority.key && certificate != nullptr &&
      X509_set_issuer_name(certificate, X509_get_subject_name(certificate)) == 1 &&
      X509_set_pubkey(certificate, authority.key.get()) == 1 &&
      AddExtension(certificate, certificate, NID_basic_constraints, kBasicConstraints) &&
      AddExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign") &&
      AddExtension(certificate, certificate, NID_subject_key_identifier, "hash") &&
      AddExtension(certificate, certificate, NID_name_constraints, NameConstraints()) &&
      X509_sign(certificate, authority.key.get(), EVP_sha256()) > 0;
  if (!ok) {
    error = OpenSslError("cannot make the local certificate authority");
    return false;
  }
  // The key first: a certificate on disk always has its key.
  if (!folder.Write(kAuthorityKeyFile, PrivateKeyPem(authority.key.get()), true) ||
      !folder.Write(kAuthorityCertificateFile, CertificatePem(certificate), false)) {
    error = "cannot keep the local certificate authority in " + folder.Path();
    return false;
  }
  authority.made = true;
  return true;
}

// Whether `certificate` carries exactly the extension `nid` as joywire's authority has it, once,
// critical, with the same value.
bool HasExactly(X509* certificate, int nid, const char* value) {
  const int at = X509_get_ext_by_NID(certificate, nid, -1);
  if (at < 0 || X509_get_ext_by_NID(certificate, nid, at) >= 0) {
    return false;
  }
  X509_EXTENSION* found = X509_get_ext(certificate, at);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* expected = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  const bool same =
      expected != nullptr && X509_EXTENSION_get_critical(found) == 1 &&
      ASN1_OCTET_STRING_cmp(X509_EXTENSION_get_data(found), X509_EXTENSION_get_data(expected)) == 0;
  X509_EXTENSION_free(expected);
  return same;
}

// What joywire-send makes: a CA for no further CA, limited to the local network, signed by its
// own key, which is the one beside it.
bool IsJoywireAuthority(X509* certificate, EVP_PKEY* key) {
  return HasExactly(certificate, NID_basic_constraints, kBasicConstraints) &&
         HasExactly(certificate, NID_name_constraints, NameConstraints()) &&
         X509_check_private_key(certificate, key) == 1 && X509_verify(certificate, key) == 1;
}

}  // namespace

void UseOpenSslAsBuilt() {
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
  OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
}

bool LoadLocalAuthority(KeptFolder& folder, LocalAuthority& authority, std::string& error) {
  if (!folder.Lock()) {
    error = "cannot lock " + folder.Path();
    return false;
  }
  std::string keyText;
  std::string certificateText;
  const KeptFolder::Found key = folder.Read(kAuthorityKeyFile, true, keyText, error);
  if (key == KeptFolder::Found::kRefused) {
    error += " (or, if others may have read it, joywire-send --forget-ca and trust the new one)";
    return false;
  }
  const KeptFolder::Found certificate =
      folder.Read(kAuthorityCertificateFile, false, certificateText, error);
  if (certificate == KeptFolder::Found::kRefused) {
    return false;
  }
  if (certificate == KeptFolder::Found::kMissing) {
    return MakeAuthority(folder, authority, error);  // none yet, or its making was cut short
  }
  const std::string forget =
      "; joywire-send --forget-ca deletes it, and the next start makes a "
      "new one (phones that trusted the old one must trust the new one)";
  if (key == KeptFolder::Found::kMissing) {
    error = "the local certificate authority in " + folder.Path() + " has lost its key" + forget;
    return false;
  }
  Bio keyPem(BIO_new_mem_buf(keyText.data(), static_cast<int>(keyText.size())));
  Bio certificatePem(
      BIO_new_mem_buf(certificateText.data(), static_cast<int>(certificateText.size())));
  authority.key.reset(PEM_read_bio_PrivateKey(keyPem.get(), nullptr, NoPassPhrase, nullptr));
  authority.certificate.reset(
      PEM_read_bio_X509(certificatePem.get(), nullptr, NoPassPhrase, nullptr));
  authority.made = false;
  if (!authority.key || !authority.certificate) {
    error = "the local certificate authority in " + folder.Path() +
            " cannot be used (damaged, or its key has a pass phrase)" + forget;
    return false;
  }
  if (!IsJoywireAuthority(authority.certificate.get(), authority.key.get())) {
    error = "the certificate authority in " + folder.Path() +
            " is not one that joywire-send made (its key does not match, or it lacks joywire's "
            "limits to the local network): joywire-send will not offer it to phones" +
            forget;
    return false;
  }
  return true;
}

bool ForgetLocalAuthority(KeptFolder& folder) {
  folder.Lock();
  const bool key = folder.Remove(kAuthorityKeyFile);
  const bool certificate = folder.Remove(kAuthorityCertificateFile);
  folder.Remove(kServerKeyFile);  // what it signed goes with it
  folder.Remove(kServerCertificateFile);
  return key || certificate;
}

std::string Fingerprint(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(certificate, EVP_sha256(), digest, &length);
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i + 1 < length ? "%02X:" : "%02X", digest[i]);
    text += byte;
  }
  return text;
}

}  // namespace joywire
