// OpenSSL's pieces that the authority and the server certificate share.
#include "phone/pairing/certificate_parts.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace joywire {

std::string OpenSslError(const char* what) {
  char reason[256] = "";
  ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
  return std::string(what) + ": " + reason;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<std::size_t>(length));
}

bool AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) {
    return false;
  }
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate's frame: version 3, a random serial, a validity from an hour ago, a subject.
Certificate NewCertificate(const std::string& commonName, long days) {
  Certificate certificate(X509_new());
  BIGNUM* serial = BN_new();
  const bool ok =
      certificate && serial != nullptr && X509_set_version(certificate.get(), 2) == 1 &&
      BN_rand(serial, 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
      BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate.get())) != nullptr &&
      X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -kHour) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(certificate.get()), days * kDay - kHour) != nullptr &&
      X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate.get()), "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                                 0) == 1;
  BN_free(serial);
  return ok ? std::move(certificate) : Certificate();
}

// A PEM key or certificate; never asks for a pass phrase (an encrypted key is no key of ours).
int NoPassPhrase(char*, int, int, void*) {
  return -1;
}

std::string PrivateKeyPem(EVP_PKEY* key) {
  Bio pem(BIO_new(BIO_s_mem()));
  PEM_write_bio_PrivateKey(pem.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  return BioText(pem.get());
}

std::string CertificateDer(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  std::string bytes(reinterpret_cast<const char*>(der), length > 0 ? length : 0);
  OPENSSL_free(der);
  return bytes;
}

std::string CertificatePem(X509* certificate) {
  Bio pem(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(pem.get(), certificate);
  return BioText(pem.get());
}

}  // namespace joywire
