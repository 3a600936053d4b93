#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace quorilanth {

// Incremental SHA-256. OpenSSL's, because it uses the processor's SHA
// instructions and so hashes a disk image several times faster than a
// portable implementation.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::span<const std::uint8_t> bytes);
    // 64 lower-case hexadecimal digits. The hash cannot be fed afterwards.
    std::string finishHex();

    static std::string hex(std::span<const std::uint8_t> bytes);

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

} // namespace quorilanth
