#include "core/net/HTTPTextDecoder.h"

#include "core/net/Utf8.h"

namespace quorilanth::HTTPTextDecoder {

std::string decode(std::string_view body, std::string_view /*contentType*/)
{
    return utf8::lossy(body);
}

} // namespace quorilanth::HTTPTextDecoder
