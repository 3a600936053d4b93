#include "core/report/ToolCalls.h"

#include "core/net/HTTPInspector.h"
#include "support/LoopbackHTTPServer.h"
#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testsupport::toolCall;

const std::string server = "https://a.example/mcp";

// The call of "lookup" sent to url with method, answered with status and location.
Evidence hop(const std::string& url, std::optional<std::int64_t> status = 200,
             std::string location = {}, const std::string& method = "POST") {
    Evidence e = toolCall(url, "lookup");
    e.method = method;
    e.statusCode = status;
    if (!location.empty()) e.responseHeaders["location"] = std::move(location);
    return e;
}

TEST(ToolCalls, NewestCallOfThisToolOnThisServerFollowedThroughItsRedirects) {
    Evidence timedOut = hop(server, std::nullopt);
    timedOut.error = "Timed out";
    Evidence escaped = hop(server), unparsed = hop(server),
             failedRedirect = hop(server, 308, "/v2");
    escaped.requestBody = R"({"method":"tools\/call","params":{"name":"lookup"},"id":2})";
    unparsed.requestBody = "tools/call \"lookup\"";
    failedRedirect.error = "Redirect limit reached.";
    std::vector<Evidence> longChain;
    for (int i = 0; i < 8; ++i)
        longChain.push_back(hop(i ? "https://a.example/" + std::to_string(i) : server, 307,
                                "/" + std::to_string(i + 1)));
    // Expected: the ids of the request and of its answer, or "-" for none.
    const std::tuple<const char*, const char*, std::vector<Evidence>> cases[] = {
        {"a timeout hides an older success", "1 1", {hop(server), timedOut}},
        {"other tools, servers, methods and bodies are passed over",
         "0 0",
         {hop(server), toolCall(server, "search", "{}", R"({"q":"\"lookup\""})"),
          hop("https://b.example/mcp"), hop(server, 200, {}, "GET"), unparsed}},
        {"a call whose arguments name the tool is another tool's",
         "0 0",
         {hop(server), toolCall(server, "search", "{}", R"({"tool":"lookup"})")}},
        {"escaped JSON is still the same call", "1 1", {hop(server), escaped}},
        {"307 keeps the POST", "0 1", {hop(server, 307, "/v2"), hop("https://a.example/v2")}},
        {"303 turns into a GET",
         "0 1",
         {hop(server, 303, "https://b.example/x"), hop("https://b.example/x", 200, {}, "GET")}},
        {"only the next hop continues a chain",
         "0 0",
         {hop(server, 307, "/v2"), hop("https://a.example/v3")}},
        {"a failed redirect is its own answer",
         "0 0",
         {failedRedirect, hop("https://a.example/v2")}},
        {"a chain ends at the transport's limit", "0 5", longChain},
        {"a trailing slash is another server", "-", {hop(server + "/")}},
    };
    const MCPTool tool(server, JSONValue::parse(R"({"name":"lookup"})"));
    for (const auto& [what, expected, records] : cases) {
        ScanReport report("https://a.example/");
        report.evidence = records;
        for (std::size_t i = 0; i < report.evidence.size(); ++i)
            report.evidence[i].id = std::to_string(i);
        const std::optional<ToolCall> walked = ToolCalls::latest(report, tool);
        const ToolCalls index(report);
        for (const ToolCall* found : {walked ? &*walked : nullptr, index.latest(tool)})
            EXPECT_EQ(found ? found->request.id + " " + found->answer.id : "-", expected) << what;
    }
}

// The chain rule mirrors the transport: a real redirected POST, recorded by
// the transport itself, must be read as one call ending in its answer.
TEST(ToolCalls, FollowsTheHopsTheTransportRecorded) {
    test::LoopbackHTTPServer site;
    site.on("/mcp", test::respond::redirect(307, "./v2/mcp#ignored"));
    site.on("/v2/mcp", test::respond::text(200, "{}"));
    HTTPInspector transport{NetworkPolicy(true)};
    const std::string url = site.url("/mcp");
    ScanReport report("https://a.example/");
    report.evidence = transport.request(url, "POST", {}, hop(url).requestBody).exchanges;
    const std::optional<ToolCall> found =
        ToolCalls::latest(report, MCPTool(url, JSONValue::parse(R"({"name":"lookup"})")));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->request.statusCode, 307);
    EXPECT_EQ(found->answer.url, site.url("/v2/mcp"));
    EXPECT_EQ(found->answer.statusCode, 200);
}

} // namespace
} // namespace quorilanth
