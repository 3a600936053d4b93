// What a hostile site can send: external entities, entity bombs, oversized and
// over-deep documents, broken embedded JSON and attribute tricks.
#include "core/documents/AgentManifestParser.h"
#include "support/ReportBuilder.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorilanth {
namespace {

using testsupport::answer;

// A loopback socket that listens but never answers: any attempt to fetch from it
// leaves a connection waiting in its backlog.
class SilentListener {
public:
    SilentListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd_, 16), 0);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(fd_); }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    bool sawConnection() const {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client >= 0) ::close(client);
        return client >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int port_ = 0;
};

bool mentions(const ParsedDocument& doc, const std::string& needle) {
    for (const auto& link : doc.links) {
        if (link.url.find(needle) != std::string::npos ||
            link.locator.find(needle) != std::string::npos) {
            return true;
        }
    }
    return doc.metadata.pretty().find(needle) != std::string::npos;
}

TEST(HostileInput, ExternalEntitiesAreNeverLoaded) {
    SilentListener listener;
    const std::filesystem::path secret = std::filesystem::temp_directory_path() /
                                         ("ql-secret-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(secret) << "SECRET-CONTENT";
    const std::string sitemap =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE urlset SYSTEM \"" + listener.url("/dtd") +
        "\" [\n<!ENTITY file SYSTEM \"" + ("file://" + secret.string()) +
        "\">\n<!ENTITY net SYSTEM \"" + listener.url("/entity") + "\">\n<!ENTITY % pe SYSTEM \"" +
        listener.url("/pe") +
        "\">\n%pe;\n]>\n<urlset xmlns:xi=\"http://www.w3.org/2001/XInclude\">"
        "<url><loc>https://x.example/&file;/agents</loc></url>"
        "<url><loc>https://x.example/&net;/mcp</loc></url>"
        "<xi:include href=\"" +
        listener.url("/xinclude") + "\" parse=\"text\"/></urlset>";
    const std::string html = "<!DOCTYPE html SYSTEM \"" + listener.url("/html-dtd") +
                             "\" [<!ENTITY net SYSTEM \"" + listener.url("/html-entity") +
                             "\">]><html><body><a href=\"/agents\">&net;</a>"
                             "<iframe src=\"" +
                             listener.url("/frame") + "\"></iframe></body></html>";
    const std::string xhtml = "<?xml version=\"1.0\"?><!DOCTYPE html [<!ENTITY file SYSTEM \"" +
                              ("file://" + secret.string()) +
                              "\">]><html><head><title>&file;</title></head></html>";

    const auto fromSitemap = AgentManifestParser::parse(
        answer("https://x.example/sitemap.xml", "application/xml", sitemap));
    const auto fromHTML =
        AgentManifestParser::parse(answer("https://x.example/", "text/html", html));
    const auto fromXHTML =
        AgentManifestParser::parse(answer("https://x.example/", "text/html", xhtml));

    EXPECT_EQ(fromSitemap.status, FindingStatus::valid);
    EXPECT_EQ(fromSitemap.links.size(), 2u);
    EXPECT_EQ(fromHTML.status, FindingStatus::valid);
    for (const auto* doc : {&fromSitemap, &fromHTML, &fromXHTML}) {
        EXPECT_FALSE(mentions(*doc, "SECRET"));
    }
    EXPECT_FALSE(listener.sawConnection());
    std::filesystem::remove(secret);
}

TEST(HostileInput, EntityBombsAreNeverExpanded) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE urlset [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 12; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><urlset><url><loc>https://x.example/&l12;/agents</loc></url></urlset>";
    const auto bomb =
        AgentManifestParser::parse(answer("https://x.example/sitemap.xml", "text/xml", laughs));
    EXPECT_EQ(bomb.status, FindingStatus::invalid);
    EXPECT_EQ(bomb.issues, std::vector<std::string>{"XML parse failed."});

    std::string quadratic = "<?xml version=\"1.0\"?><!DOCTYPE urlset [<!ENTITY big \"" +
                            std::string(50000, 'a') + "\">]><urlset>";
    for (int i = 0; i < 30; ++i)
        quadratic += "<url><loc>https://x.example/&big;&big;&big;/" + std::to_string(i) +
                     "/agents</loc></url>";
    quadratic += "</urlset>";
    const auto blowup =
        AgentManifestParser::parse(answer("https://x.example/sitemap.xml", "text/xml", quadratic));
    for (const auto& link : blowup.links)
        EXPECT_LT(link.url.size(), 100u);
}

TEST(HostileInput, LargeSitemapKeepsTheFirst300Entries) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset "
                      "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int i = 0; i < 50000; ++i) {
        doc += "<url><loc>https://x.example/p/" + std::to_string(i) + "/agents</loc></url>\n";
    }
    doc += "</urlset>\n";
    ASSERT_GT(doc.size(), 2'000'000u);
    const auto parsed =
        AgentManifestParser::parse(answer("https://x.example/sitemap.xml", "application/xml", doc));
    EXPECT_EQ(parsed.status, FindingStatus::valid);
    ASSERT_EQ(parsed.links.size(), 300u);
    for (const auto& link : parsed.links) {
        const int index = std::atoi(link.url.c_str() + std::string("https://x.example/p/").size());
        EXPECT_LT(index, 300) << link.url;
    }
}

TEST(HostileInput, TwoMegabytesOfLinksStillReadThePageFacts) {
    std::string page = "<html lang=en><body>";
    for (int i = 0; page.size() < 2'000'000; ++i) {
        page += "<a href=\"/p/" + std::to_string(i) + "/mcp\">x</a><link rel=mcp href=\"/q/" +
                std::to_string(i) + "\">\n";
    }
    page += "<link rel=alternate hreflang=de href=/de><title>Late</title></body></html>";
    const auto parsed = AgentManifestParser::parse(answer("https://x.example/", "text/html", page));
    EXPECT_EQ(parsed.status, FindingStatus::valid);
    EXPECT_EQ(parsed.links.size(), 300u);
    EXPECT_EQ(parsed.summary, "HTML inspected · 300 relevant links");
    EXPECT_EQ(parsed.metadata["title"], JSONValue("Late"));
    EXPECT_EQ(parsed.metadata["languages"], JSONValue(JSONValue::Array{JSONValue("de")}));
}

TEST(HostileInput, MalformedJSONLDBlocksAreSkippedOneByOne) {
    const std::string deep(100000, '[');
    const std::string page =
        "<script type=\"application/ld+json\">{\"mcp\": \"https://x.example/mcp\",</script>"
        "<script type=\"application/ld+json\">{\"mcp\": \"https://x.example/a/mcp\"}</script>"
        "<script type=\"application/ld+json\">" +
        deep +
        "</script>"
        "<script type=\"application/ld+json\"></script>"
        "<script type=\"application/ld+json\">{\"service\": \"https://x.example/b/mcp\"} "
        "x</script>";
    const auto parsed = AgentManifestParser::parse(answer("https://x.example/", "text/html", page));
    EXPECT_EQ(parsed.status, FindingStatus::valid);
    EXPECT_EQ(parsed.issues, std::vector<std::string>(4, "Malformed application/ld+json block."));
    ASSERT_EQ(parsed.links.size(), 1u);
    EXPECT_EQ(parsed.links[0].url, "https://x.example/a/mcp");
    EXPECT_EQ(parsed.metadata["jsonLD"]["mcp"], JSONValue("https://x.example/a/mcp"));
}

TEST(HostileInput, DuplicateAttributesKeepTheirFirstSpelling) {
    const struct {
        const char* element;
        const char* url; // expected link, or "" for none
        const char* relation;
    } cases[] = {
        {"<a HREF=\"/agents\" href=\"/elsewhere\">x</a>", "https://x.example/agents", "HTML link"},
        {"<a Href=\"/elsewhere\" href=\"/agents\">x</a>", "", ""},
        {"<link REL=\"mcp\" rel=\"stylesheet\" href=\"/s\">", "https://x.example/s", "HTML mcp"},
        {"<meta NAME=\"agent\" name=\"x\" content=\"/m\">", "https://x.example/m", "HTML metadata"},
    };
    for (const auto& c : cases) {
        const auto parsed =
            AgentManifestParser::parse(answer("https://x.example/", "text/html", c.element));
        if (*c.url == '\0') {
            EXPECT_TRUE(parsed.links.empty()) << c.element;
            continue;
        }
        ASSERT_EQ(parsed.links.size(), 1u) << c.element;
        EXPECT_EQ(parsed.links[0].url, c.url);
        EXPECT_EQ(parsed.links[0].relation, c.relation);
    }
}

std::string repeated(std::string_view unit, std::size_t bytes) {
    std::string out;
    while (out.size() < bytes) {
        out += unit;
    }
    return out;
}

TEST(HostileInput, OverDeepDocumentsAreRefusedOrReadWithoutCrashing) {
    const struct {
        const char* name;
        std::string url;
        std::string contentType;
        std::string body;
        FindingStatus status;
    } cases[] = {
        {"json brackets", "https://x.example/a.json", "application/json", repeated("[", 2'000'000),
         FindingStatus::invalid},
        {"json objects", "https://x.example/a.json", "application/json",
         repeated("{\"a\":", 2'000'000), FindingStatus::invalid},
        // Within the decoder's nesting limit but far beyond the walk's: read, no links.
        {"json 500 levels", "https://x.example/a.json", "application/json",
         repeated("[", 500) + "\"https://x.example/mcp\"" + repeated("]", 500),
         FindingStatus::found},
        {"html divs", "https://x.example/", "text/html", repeated("<div>", 2'000'000),
         FindingStatus::valid},
        {"xml elements", "https://x.example/sitemap.xml", "text/xml",
         repeated("<a>", 2'000'000) + "<loc>https://x.example/mcp</loc>", FindingStatus::invalid},
    };
    for (const auto& c : cases) {
        const auto parsed = AgentManifestParser::parse(answer(c.url, c.contentType, c.body));
        EXPECT_EQ(parsed.status, c.status) << c.name;
        EXPECT_TRUE(parsed.links.empty()) << c.name;
    }
}

} // namespace
} // namespace quorilanth
