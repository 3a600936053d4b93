#pragma once

// A throw-away certificate authority made when a test starts, and one leaf it
// issued for 127.0.0.1, 127.0.0.2, ::1 and one host name, as PEM files in a
// private temporary folder that goes with the object.

#include <string>
#include <string_view>

namespace quorilanth::test {

class TestCertificateAuthority {
public:
    explicit TestCertificateAuthority(std::string_view hostName = "localhost");
    ~TestCertificateAuthority();
    TestCertificateAuthority(const TestCertificateAuthority&) = delete;
    TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

    // The authority's certificate, for curl's --cacert and the like.
    std::string caFile() const { return folder_ + "/ca.pem"; }
    std::string certificateFile() const { return folder_ + "/leaf.pem"; }
    std::string keyFile() const { return folder_ + "/leaf-key.pem"; }

private:
    std::string folder_;
};

} // namespace quorilanth::test
