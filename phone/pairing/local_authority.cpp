// The local certificate authority and the server certificate of each start, through OpenSSL's
// own key, certificate and extension functions.
#include "phone/pairing/local_authority.h"

#include "phone/pairing/private_ranges.h"

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

constexpr long kHour = 60 * 60;
constexpr long kDay = 24 * kHour;
constexpr long kAuthorityDays = 10 * 365;
constexpr long kServerDays = 397;  // the longest that iOS accepts

// Only what a phone on the local network needs: private and loopback IPv4 ranges, localhost and
// *.local.
constexpr char kBasicConstraints[] = "critical,CA:TRUE,pathlen:0";
const char* NameConstraints() {
  static const std::string text = PrivateNameConstraints();
  return text.c_str();
}

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

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

// A PEM key or certificate; never asks for a pass phrase (an encrypted key is no key of ours).
int NoPassPhrase(char*, int, int, void*) {
  return -1;
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

bool IssueServerCertificate(const LocalAuthority& authority,
                            const std::vector<std::string>& addresses, Key& key,
                            Certificate& certificate, std::string& error) {
  std::string names;
  for (const std::string& address : addresses) {
    const bool isAddress = address.find_first_not_of("0123456789.") == std::string::npos;
    names += (isAddress ? "IP:" : "DNS:") + address + ",";
  }
  names += "DNS:localhost";
  key.reset(EVP_EC_gen("P-256"));
  certificate = NewCertificate(addresses.empty() ? "localhost" : addresses.front(), kServerDays);
  X509* issuer = authority.certificate.get();
  const bool ok =
      key && certificate &&
      X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuer)) == 1 &&
      X509_set_pubkey(certificate.get(), key.get()) == 1 &&
      AddExtension(certificate.get(), issuer, NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(certificate.get(), issuer, NID_key_usage, "critical,digitalSignature") &&
      AddExtension(certificate.get(), issuer, NID_ext_key_usage, "serverAuth") &&
      AddExtension(certificate.get(), issuer, NID_subject_key_identifier, "hash") &&
      AddExtension(certificate.get(), issuer, NID_authority_key_identifier, "keyid:always") &&
      AddExtension(certificate.get(), issuer, NID_subject_alt_name, names.c_str()) &&
      X509_sign(certificate.get(), authority.key.get(), EVP_sha256()) > 0;
  if (!ok) {
    error = OpenSslError("cannot issue the server certificate");
  }
  return ok;
}

namespace {

// Whether `certificate` is one of `authority`'s for exactly these addresses (the machine's
// .local name among them) and localhost, for more than 30 days yet, and `key` is its own.
bool StillFits(X509* certificate, EVP_PKEY* key, const LocalAuthority& authority,
               const std::vector<std::string>& addresses) {
  if (X509_check_issued(authority.certificate.get(), certificate) != X509_V_OK ||
      X509_verify(certificate, X509_get0_pubkey(authority.certificate.get())) != 1 ||
      X509_check_private_key(certificate, key) != 1) {
    return false;
  }
  time_t soon = time(nullptr) + 30 * kDay;
  if (X509_cmp_time(X509_get0_notAfter(certificate), &soon) <= 0) {
    return false;  // gone, or going within a month
  }
  auto* names = static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  std::vector<std::string> named;
  bool onlyKnownKinds = true;
  for (int i = 0; names != nullptr && i < sk_GENERAL_NAME_num(names); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    int type = 0;
    const auto* value = static_cast<const ASN1_STRING*>(GENERAL_NAME_get0_value(name, &type));
    const auto* bytes = ASN1_STRING_get0_data(value);
    if (type == GEN_IPADD && ASN1_STRING_length(value) == 4) {
      named.push_back(std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                      std::to_string(bytes[2]) + "." + std::to_string(bytes[3]));
    } else if (type != GEN_DNS) {
      onlyKnownKinds = false;
    } else if (std::string name(reinterpret_cast<const char*>(bytes), ASN1_STRING_length(value));
               name != "localhost") {
      named.push_back(name);  // the machine's .local name
    }
  }
  GENERAL_NAMES_free(names);
  std::vector<std::string> wanted = addresses;
  std::sort(named.begin(), named.end());
  std::sort(wanted.begin(), wanted.end());
  return onlyKnownKinds && named == wanted;
}

}  // namespace

bool KeptServerCertificate(KeptFolder& folder, const LocalAuthority& authority,
                           const std::vector<std::string>& addresses, Key& key,
                           Certificate& certificate, bool& renewed, std::string& error) {
  std::string keyText;
  std::string certificateText;
  const KeptFolder::Found keyFound = folder.Read(kServerKeyFile, true, keyText, error);
  const bool kept =
      keyFound == KeptFolder::Found::kYes &&
      folder.Read(kServerCertificateFile, false, certificateText, error) == KeptFolder::Found::kYes;
  error.clear();  // whatever is wrong with the kept one, a new one does
  renewed = false;
  if (kept) {
    Bio keyPem(BIO_new_mem_buf(keyText.data(), static_cast<int>(keyText.size())));
    Bio certificatePem(
        BIO_new_mem_buf(certificateText.data(), static_cast<int>(certificateText.size())));
    key.reset(PEM_read_bio_PrivateKey(keyPem.get(), nullptr, NoPassPhrase, nullptr));
    certificate.reset(PEM_read_bio_X509(certificatePem.get(), nullptr, NoPassPhrase, nullptr));
    if (key && certificate && StillFits(certificate.get(), key.get(), authority, addresses)) {
      return true;
    }
  }
  // A key that others could read is replaced too, and phones must be told as for any other.
  renewed = kept || keyFound == KeptFolder::Found::kRefused;
  if (!IssueServerCertificate(authority, addresses, key, certificate, error)) {
    return false;
  }
  if (!folder.Write(kServerKeyFile, PrivateKeyPem(key.get()), true) ||
      !folder.Write(kServerCertificateFile, CertificatePem(certificate.get()), false)) {
    error = "cannot keep the server certificate in " + folder.Path();
    return false;
  }
  return true;
}

bool KeepServerCertificate(const std::string& path, const std::string& keyPem,
                           const std::string& certificatePem) {
  KeptFolder folder;
  std::string error;
  return folder.Open(path, false, error) == KeptFolder::Found::kYes && folder.Lock() &&
         folder.Write(kServerKeyFile, keyPem, true) &&
         folder.Write(kServerCertificateFile, certificatePem, false);
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
