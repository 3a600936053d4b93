#pragma once

#include "core/model/Evidence.h"

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace quorilanth {

// The exchanges of one request, one record per hop; the last is the answer.
struct HTTPResult {
    std::vector<Evidence> exchanges;

    // The last hop. A result that came from request() is never empty; asking
    // an empty one is a programming error.
    const Evidence& final() const;
    Evidence& final();
};

// How the engine, the MCP client and the AI engine make HTTP requests.
// request() never throws: refusals, transport failures and cancellation all
// end up as the error text of the hop concerned.
class HTTPInspecting {
public:
    virtual ~HTTPInspecting() = default;

    // Method sent as given; header names as the caller spells them; the body,
    // when there is one, is sent as its UTF-8 bytes. A stop request cancels
    // the request at the next hop, during the pause between hops or while a
    // hop runs.
    virtual HTTPResult request(const std::string& url, const std::string& method,
                               const HeaderFields& headers, const std::optional<std::string>& body,
                               std::stop_token stop = {}) = 0;

    HTTPResult get(const std::string& url, std::stop_token stop = {});
};

} // namespace quorilanth
