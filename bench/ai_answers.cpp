// What reading a hostile search answer costs: a 2 MB answer of the OpenAI
// service whose one cited text is 0.8 MB, cited 20,000 times by
// URLs the policy refuses or repeats, and one of Claude's with 20,000
// refused citations. Each figure stands beside the parse of the same body,
// the floor every answer pays, and beside segmenting the whole cited text,
// which the snippet cut must never do, as cutting its first 600 characters
// shows. Figures only.
#include "BenchTiming.h"
#include "ai/AIResearchEngine.h"
#include "core/base/UnicodeText.h"

#include <cstdio>
#include <string>

using namespace quorilanth;
using quorilanth::bench::milliseconds;

namespace {

std::string citations(int count, const char* extra) {
    std::string list;
    for (int i = 0; i < count; ++i)
        list += std::string(i ? "," : "") + R"({"type":"url_citation","url":")" +
                (i % 2 ? "http://plain.example/" : "https://user@host.example/") +
                std::to_string(i) + R"(","title":"t")" + extra + "}";
    return list;
}

void report(const char* name, const std::string& body, AIProvider provider) {
    const auto parse = milliseconds([&] { JSONValue::parse(body); }, 7);
    const JSONValue answer = JSONValue::parse(body);
    std::size_t found = 0;
    const auto read = milliseconds(
        [&] { found = AIResearchEngine::sourceCandidates(answer, provider).size(); }, 7);
    std::printf("%-8s %5.2f MB: parse %7.2f ms, candidates %7.2f ms (%4.2f x parse, %zu kept)\n",
                name, body.size() / 1e6, parse.median, read.median, read.median / parse.median,
                found);
}

} // namespace

int main() {
    std::string text;
    while (text.size() < 800000)
        text += "Museums of Rome e\u0301\u0301 \U0001F1EE\U0001F1F9 ";
    const std::string openAI = R"({"output":[{"type":"message","content":[{"text":")" + text +
                               R"(","annotations":[)" + citations(20000, "") +
                               R"(,{"type":"url_citation","url":"https://ok.example/"}]}]}]})";
    report("OpenAI", openAI, AIProvider::openAI);
    report("Claude",
           R"({"content":[{"type":"text","citations":[)" +
               citations(20000, R"(,"cited_text":"Plan your visit")") + "]}]}",
           AIProvider::claude);
    const auto whole = milliseconds([&] { unicodeText::graphemePrefix(text, text.size() - 1); }, 7);
    const auto cut = milliseconds([&] { unicodeText::graphemePrefix(text, 600); }, 7);
    std::printf("segmenting the whole cited text: %.2f ms; cutting its first 600 characters: "
                "%.3f ms\n",
                whole.median, cut.median);
}
