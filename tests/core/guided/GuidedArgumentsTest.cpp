#include "core/guided/GuidedPresentation.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace GuidedPresentation;
using enum Language;

MCPTool tool(const std::string& properties, const std::string& required = "[]") {
    return MCPTool("https://a.example/mcp",
                   JSONValue::parse(R"({"name":"t","inputSchema":{"type":"object","properties":)" +
                                    properties + R"(,"required":)" + required + "}}"));
}

TEST(GuidedArguments, TheLanguageStartsFilledInOnlyWhenOfferedAndThenSends) {
    // An untyped list of texts is a text field, so it can be chosen and sent.
    for (const char* language :
         {R"({"enum":["it","en"]})", R"({"type":"string","enum":["it","en"]})"}) {
        const MCPTool typed =
            tool(std::string(R"({"language":)") + language + "}", R"(["language"])");
        const FormValues start = initialValues(typed, italian);
        EXPECT_EQ(start, (FormValues{{"language", "it"}}));
        EXPECT_EQ(arguments(start, typed, english), JSONValue::parse(R"({"language":"it"})"));
    }
    EXPECT_TRUE(initialValues(tool(R"({"language":{"enum":["en"]}})"), italian).empty());
    EXPECT_TRUE(
        initialValues(tool(R"({"language":{"type":"object","enum":["it"]}})"), italian).empty());
}

// "name=text|name=text" as a form.
FormValues form(std::string_view text) {
    FormValues values;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('|', start), text.size());
        const std::string_view entry = text.substr(start, end - start);
        const std::size_t equals = entry.find('=');
        values[std::string(entry.substr(0, equals))] = std::string(entry.substr(equals + 1));
        start = end + 1;
    }
    return values;
}

TEST(GuidedArguments, ConversionsAndEveryFailureSentence) {
    const MCPTool subject = tool(
        R"({"query":{"type":"string"},"app_id":{"type":"string"},"n":{"type":"integer"},
            "free":{"type":"boolean"},"pick":{"type":["integer","boolean"],"enum":[1,2,true]},
            "lines":{"type":"array","items":{"type":"string"}},"obj":{"type":"object"},
            "code":{"type":"string","pattern":"^a"},"s":{"type":["null",1,"integer","string"]},
            "objs":{"type":"array","items":{"type":"object"}}})",
        R"(["query","app_id"])");
    const char* checkN[] = {"Controlla il valore di «N».", "Check the value of ‘N’."};
    struct Row {
        const char* values;
        const char* result; // the arguments, or "" when conversion fails
        const char* italian = "";
        const char* english = ""; // ending in a line break: the start of the message
    };
    for (const Row& row : std::initializer_list<Row>{
             {"query= \n\t", "",
              "Compila i campi obbligatori: Nome identificativo dell’app, Cosa vuoi cercare?.",
              "Complete the required fields: App identifier, What would you like to find?."},
             {"query=42|app_id=a|s= |n=42|free=true|pick=2|obj=",
              R"({"query":"42","app_id":"a","s":" ","n":42,"free":true,"pick":2})"},
             {"query=q|app_id=a|pick=true|lines=a\n\n  b \r\nc\u2028",
              R"({"query":"q","app_id":"a","pick":true,"lines":["a","b","c"]})"},
             {"query=q|app_id=a|free=yes", "", "Controlla il valore di «Solo gratuiti».",
              "Check the value of ‘Free only’."},
             {"query=q|app_id=a|n=1e999", "", checkN[0], checkN[1]},
             {"query=q|app_id=a|n=-Infinity", "", checkN[0], checkN[1]},
             // Several fields that cannot be sent: the first by name is named, every time.
             {"query=q|app_id=a|zz=1|obj={}", "", "Il campo «Obj» richiede l’editor tecnico.",
              "The field ‘Obj’ requires the technical editor."},
             {"query=q|app_id=a|code=a", "",
              "Questa funzione richiede opzioni che Quorilanth non sa ancora verificare. Puoi "
              "consultarle nella vista tecnica.",
              "This function requires options Quorilanth cannot yet validate. You can inspect them "
              "in the technical view."},
             {"query=q|app_id=a|n=3.5", "", "Alcuni campi non rispettano i requisiti del sito:\n",
              "Some fields do not meet the site’s requirements:\n"},
         }) {
        SCOPED_TRACE(row.values);
        if (*row.result) {
            EXPECT_EQ(arguments(form(row.values), subject, italian), JSONValue::parse(row.result));
            continue;
        }
        for (const auto& [language, text] :
             {std::pair{italian, row.italian}, {english, row.english}}) {
            try {
                arguments(form(row.values), subject, language);
                ADD_FAILURE() << "converted";
            } catch (const QuorilanthError& error) {
                const std::string_view expected = text;
                EXPECT_EQ(expected.ends_with('\n') ? error.message().substr(0, expected.size())
                                                   : error.message(),
                          expected);
            }
        }
    }
}

} // namespace
} // namespace quorilanth
