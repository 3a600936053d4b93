#include "support/TestCertificateAuthority.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <stdlib.h>
#include <vector>

namespace quorilanth::test {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

void check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error("test CA: " + what);
}

// Self-signed for the authority (no issuer), else a server leaf signed by the issuer.
Certificate issue(EVP_PKEY* key, const std::string& name, X509* issuer, EVP_PKEY* issuerKey) {
    Certificate cert(X509_new(), X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), issuer ? 2 : 1);
    // An hour of slack on both sides keeps a skewed clock from failing the tests.
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 2 * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert.get()), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    using Extensions = std::vector<std::pair<int, std::string>>;
    const Extensions extensions =
        issuer ? Extensions{{NID_basic_constraints, "critical,CA:FALSE"},
                            {NID_key_usage, "critical,digitalSignature"},
                            {NID_ext_key_usage, "serverAuth"},
                            {NID_subject_alt_name, "IP:127.0.0.1,IP:127.0.0.2,IP:::1,DNS:" + name},
                            {NID_authority_key_identifier, "keyid:always"}}
               : Extensions{{NID_basic_constraints, "critical,CA:TRUE"},
                            {NID_key_usage, "critical,keyCertSign,cRLSign"},
                            {NID_subject_key_identifier, "hash"}};
    for (const auto& [nid, value] : extensions) {
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, signer, cert.get(), nullptr, nullptr, 0);
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
        check(extension && X509_add_ext(cert.get(), extension, -1) == 1, value);
        X509_EXTENSION_free(extension);
    }
    check(X509_sign(cert.get(), issuerKey, EVP_sha256()) > 0, "signature");
    return cert;
}

void write(const std::string& path, const std::function<int(FILE*)>& pem) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    check(file && pem(file.get()) == 1, path);
}

} // namespace

TestCertificateAuthority::TestCertificateAuthority(std::string_view hostName) {
    std::string folder = (std::filesystem::temp_directory_path() / "loopback-ca-XXXXXX").string();
    check(::mkdtemp(folder.data()) != nullptr, "temporary folder");
    folder_ = folder;
    Key caKey(EVP_EC_gen("P-256"), EVP_PKEY_free), leafKey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    check(caKey && leafKey, "key generation");
    const Certificate ca = issue(caKey.get(), "Loopback Test CA", nullptr, caKey.get());
    const Certificate leaf = issue(leafKey.get(), std::string(hostName), ca.get(), caKey.get());
    write(caFile(), [&](FILE* file) { return PEM_write_X509(file, ca.get()); });
    write(certificateFile(), [&](FILE* file) { return PEM_write_X509(file, leaf.get()); });
    write(keyFile(), [&](FILE* file) {
        return PEM_write_PrivateKey(file, leafKey.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

TestCertificateAuthority::~TestCertificateAuthority() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

} // namespace quorilanth::test
