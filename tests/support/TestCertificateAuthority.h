#pragma once

// A throw-away certificate authority made when a test starts: one CA
// certificate (written to a private temporary file so that a client can be
// told to trust it) and one server certificate it issued for the loopback
// addresses 127.0.0.1, 127.0.0.2, ::1 and one host name. Nothing outlives the object.

#include <string>

namespace quorilanth::test {

class TestCertificateAuthority {
public:
    explicit TestCertificateAuthority(const std::string& hostName = "localhost");
    ~TestCertificateAuthority();
    TestCertificateAuthority(const TestCertificateAuthority&) = delete;
    TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

    // Path of the CA certificate in PEM form (for curl's --cacert and the like).
    const std::string& caFile() const { return caFile_; }
    const std::string& caPEM() const { return caPEM_; }
    const std::string& serverCertificatePEM() const { return serverCertificatePEM_; }
    const std::string& serverKeyPEM() const { return serverKeyPEM_; }

private:
    std::string folder_;
    std::string caFile_;
    std::string caPEM_;
    std::string serverCertificatePEM_;
    std::string serverKeyPEM_;
};

} // namespace quorilanth::test
