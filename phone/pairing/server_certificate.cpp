// The server certificate of each start, issued by the local authority and kept beside it.
#include "phone/pairing/server_certificate.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>

#include "phone/pairing/certificate_parts.h"

namespace joywire {

namespace {

constexpr long kServerDays = 397;  // the longest that iOS accepts

}  // namespace

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

}  // namespace joywire
