#include "support/TestCertificateAuthority.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <stdlib.h>
#include <vector>

namespace quorilanth::test {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test CA: ") + what);
}

Key newKey() {
    Key key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key generation");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

Cert newCertificate(EVP_PKEY* key, const std::string& commonName, long serial, X509* issuer,
                    EVP_PKEY* issuerKey, bool authority) {
    Cert cert(X509_new());
    check(cert != nullptr, "certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    // An hour of slack on both sides keeps a skewed clock from failing the tests.
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 2 * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    if (authority) {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    } else {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature");
        addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
        addExtension(cert.get(), signer, NID_subject_alt_name,
                     ("IP:127.0.0.1,IP:127.0.0.2,IP:::1,DNS:" + commonName).c_str());
        addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    }
    check(X509_sign(cert.get(), issuerKey, EVP_sha256()) > 0, "signature");
    return cert;
}

std::string drain(BIO* bio) {
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string certificatePEM(X509* cert) {
    Bio bio(BIO_new(BIO_s_mem()));
    check(bio && PEM_write_bio_X509(bio.get(), cert) == 1, "PEM certificate");
    return drain(bio.get());
}

std::string keyPEM(EVP_PKEY* key) {
    Bio bio(BIO_new(BIO_s_mem()));
    check(bio &&
              PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "PEM key");
    return drain(bio.get());
}

} // namespace

TestCertificateAuthority::TestCertificateAuthority(const std::string& hostName) {
    Key caKey = newKey();
    Cert ca = newCertificate(caKey.get(), "Loopback Test CA", 1, nullptr, caKey.get(), true);
    Key serverKey = newKey();
    Cert server = newCertificate(serverKey.get(), hostName, 2, ca.get(), caKey.get(), false);
    caPEM_ = certificatePEM(ca.get());
    serverCertificatePEM_ = certificatePEM(server.get());
    serverKeyPEM_ = keyPEM(serverKey.get());

    std::string pattern = (std::filesystem::temp_directory_path() / "loopback-ca-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    check(mkdtemp(buffer.data()) != nullptr, "temporary folder");
    folder_ = buffer.data();
    caFile_ = folder_ + "/ca.pem";
    std::ofstream out(caFile_, std::ios::binary);
    out << caPEM_;
    check(static_cast<bool>(out), "writing the CA file");
}

TestCertificateAuthority::~TestCertificateAuthority() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

} // namespace quorilanth::test
