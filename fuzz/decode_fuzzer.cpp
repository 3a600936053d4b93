// A hostile body with a hostile content type (the first line). Decoding never
// fails, and its result is always UTF-8 the rest of the scanner can trust.
#include "FuzzInput.h"
#include "core/base/UTF8.h"
#include "core/net/HTTPTextDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [contentType, body] =
        quorilanth::fuzz::splitLine(quorilanth::fuzz::text(data, size));
    if (!quorilanth::utf8::isValid(quorilanth::HTTPTextDecoder::decode(body, contentType))) {
        __builtin_trap();
    }
    return 0;
}
