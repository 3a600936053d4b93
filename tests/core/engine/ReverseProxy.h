#pragma once

#include "support/LoopbackHTTPServer.h"

#include <cstdint>

namespace quorilanth::test {

// A handler that forwards the request as it arrived to a server on
// 127.0.0.1:port and copies the answer back byte for byte, so an MCP peer that
// listens on its own port can stand at a path of the fixture site.
Handler reverseProxy(std::uint16_t port);

} // namespace quorilanth::test
