// What a hostile site can send: external entities, entity bombs, oversized and
// over-deep documents, broken embedded JSON and attribute tricks.
#include "core/discovery/AgentManifestParser.h"
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
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 16) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "cannot open a loopback listener";
            return;
        }
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    bool sawConnection() const {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client >= 0) {
            ::close(client);
            return true;
        }
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& content)
        : path_(std::filesystem::temp_directory_path() /
                ("ql-secret-" + std::to_string(::getpid()) + ".txt")) {
        std::ofstream(path_) << content;
    }
    ~TemporaryFile() { std::filesystem::remove(path_); }
    std::string url() const { return "file://" + path_.string(); }

private:
    std::filesystem::path path_;
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
    TemporaryFile secret("SECRET-CONTENT");
    const std::string sitemap =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE urlset SYSTEM \"" + listener.url("/dtd") +
        "\" [\n<!ENTITY file SYSTEM \"" + secret.url() + "\">\n<!ENTITY net SYSTEM \"" +
        listener.url("/entity") + "\">\n<!ENTITY % pe SYSTEM \"" + listener.url("/pe") +
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
                              secret.url() + "\">]><html><head><title>&file;</title></head></html>";

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
}

TEST(HostileInput, BillionLaughsFailsFast) {
    std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE urlset [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 12; ++i) {
        doc += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            doc += "&l" + std::to_string(i - 1) + ";";
        }
        doc += "\">";
    }
    doc += "]><urlset><url><loc>https://x.example/&l12;/agents</loc></url></urlset>";
    const auto parsed =
        AgentManifestParser::parse(answer("https://x.example/sitemap.xml", "text/xml", doc));
    EXPECT_EQ(parsed.status, FindingStatus::invalid);
    EXPECT_EQ(parsed.issues, std::vector<std::string>{"XML parse failed."});
}

TEST(HostileInput, QuadraticEntityIsNotExpanded) {
    std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE urlset [<!ENTITY big \"" +
                      std::string(50000, 'a') + "\">]><urlset>";
    for (int i = 0; i < 30; ++i) {
        doc += "<url><loc>https://x.example/&big;&big;&big;/" + std::to_string(i) +
               "/agents</loc></url>";
    }
    doc += "</urlset>";
    const auto parsed =
        AgentManifestParser::parse(answer("https://x.example/sitemap.xml", "text/xml", doc));
    for (const auto& link : parsed.links) {
        EXPECT_LT(link.url.size(), 100u);
    }
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

struct AttributeCase {
    const char* name;
    const char* element;
    const char* url;      // expected link, or "" for none
    const char* relation; // of that link
};

class DuplicateAttributes : public testing::TestWithParam<AttributeCase> {};

TEST_P(DuplicateAttributes, FirstSpellingWins) {
    const auto parsed =
        AgentManifestParser::parse(answer("https://x.example/", "text/html", GetParam().element));
    if (std::string(GetParam().url).empty()) {
        EXPECT_TRUE(parsed.links.empty());
        return;
    }
    ASSERT_EQ(parsed.links.size(), 1u);
    EXPECT_EQ(parsed.links[0].url, GetParam().url);
    EXPECT_EQ(parsed.links[0].relation, GetParam().relation);
}

INSTANTIATE_TEST_SUITE_P(
    HostileInput, DuplicateAttributes,
    testing::Values(AttributeCase{"href", "<a HREF=\"/agents\" href=\"/elsewhere\">x</a>",
                                  "https://x.example/agents", "HTML link"},
                    AttributeCase{"href_irrelevant_first",
                                  "<a Href=\"/elsewhere\" href=\"/agents\">x</a>", "", ""},
                    AttributeCase{"rel", "<link REL=\"mcp\" rel=\"stylesheet\" href=\"/s\">",
                                  "https://x.example/s", "HTML mcp"},
                    AttributeCase{"meta_name", "<meta NAME=\"agent\" name=\"x\" content=\"/m\">",
                                  "https://x.example/m", "HTML metadata"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DepthCase {
    const char* name;
    std::string url;
    std::string contentType;
    std::string body;
    FindingStatus status;
};

class OverDeepDocuments : public testing::TestWithParam<DepthCase> {};

TEST_P(OverDeepDocuments, AreRefusedOrReadWithoutCrashing) {
    const auto& c = GetParam();
    const auto parsed = AgentManifestParser::parse(answer(c.url, c.contentType, c.body));
    EXPECT_EQ(parsed.status, c.status);
    EXPECT_TRUE(parsed.links.empty());
}

std::string repeated(std::string_view unit, std::size_t bytes) {
    std::string out;
    out.reserve(bytes + unit.size());
    while (out.size() < bytes) {
        out += unit;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    HostileInput, OverDeepDocuments,
    testing::Values(DepthCase{"json_brackets", "https://x.example/a.json", "application/json",
                              repeated("[", 2'000'000), FindingStatus::invalid},
                    DepthCase{"json_objects", "https://x.example/a.json", "application/json",
                              repeated("{\"a\":", 2'000'000), FindingStatus::invalid},
                    // Within the decoder's nesting limit but far beyond the walk's: read, no links.
                    DepthCase{"json_500_levels", "https://x.example/a.json", "application/json",
                              repeated("[", 500) + "\"https://x.example/mcp\"" + repeated("]", 500),
                              FindingStatus::found},
                    DepthCase{"html_divs", "https://x.example/", "text/html",
                              repeated("<div>", 2'000'000), FindingStatus::valid},
                    DepthCase{"xml_elements", "https://x.example/sitemap.xml", "text/xml",
                              repeated("<a>", 2'000'000) + "<loc>https://x.example/mcp</loc>",
                              FindingStatus::invalid}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorilanth
