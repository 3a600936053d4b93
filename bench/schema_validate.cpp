// Checking 2 MB tool values against their schemas: honest values in one pass,
// and a schema that doubles its own work on every level, which the work budget
// stops. Each line gives the median of several runs beside the time to parse
// the same text, the floor any check of that value stands on.
#include "BenchTiming.h"
#include "core/mcp/JSONSchemaValidator.h"

#include <cstdio>
#include <functional>
#include <string>

namespace {

using namespace quorilanth;
constexpr std::size_t twoMB = 2'000'000;

std::string arrayOf(const std::function<std::string(int)>& element) {
    std::string text = "[";
    for (int i = 0; text.size() < twoMB; ++i)
        text += (i ? "," : "") + element(i);
    return text + "]";
}

void measure(const char* name, const std::string& text, const char* schemaText) {
    const JSONValue schema = JSONValue::parse(schemaText);
    JSONValue value;
    const double parse = bench::milliseconds([&] { value = JSONValue::parse(text); }, 7).median;
    SchemaValidation result;
    const double check =
        bench::milliseconds([&] { result = JSONSchemaValidator::validate(value, schema); }, 7)
            .median;
    std::printf("%-44s %4.2f MB  parse %7.2f ms  validate %7.2f ms (%5.2fx parse)  %s\n", name,
                text.size() / 1e6, parse, check, check / parse,
                result.isValid()             ? "valid"
                : result.unsupported.empty() ? "invalid"
                                             : result.unsupported.back().c_str());
}

} // namespace

int main() {
    const char* doubling =
        R"({"$defs":{"x":{"allOf":[{"$ref":"#/$defs/x"},{"$ref":"#/$defs/x"}]}},"$ref":"#/$defs/x"})";
    measure("objects against an items schema", arrayOf([](int i) {
                return R"({"id":)" + std::to_string(i) + R"(,"name":"record )" + std::to_string(i) +
                       R"(","tags":["a","b"]})";
            }),
            R"({"type":"array","items":{"type":"object","required":["id","name"],
               "properties":{"id":{"type":"integer"},"name":{"type":"string"},
               "tags":{"type":"array","items":{"type":"string"}}},
               "additionalProperties":false}})");
    measure("short strings, anyOf string or null", arrayOf([](int) { return "\"abc\""; }),
            R"({"items":{"anyOf":[{"type":"string"},{"type":"null"}]}})");
    measure(
        "numbers by $ref with bounds", arrayOf([](int i) { return std::to_string(i % 1000); }),
        R"({"items":{"$ref":"#/$defs/n"},"$defs":{"n":{"type":"integer","minimum":0,"maximum":999}}})");
    // Nineteen definitions, each naming the next ten times: 10^19 checks that
    // stay above the depth limit and leave no note behind, so only the work
    // budget ends them.
    std::string chain = R"({"$ref":"#/d0","d19":true)";
    for (int i = 0; i < 19; ++i) {
        std::string refs;
        for (int k = 0; k < 10; ++k)
            refs += (k ? "," : "") + std::string(R"({"$ref":"#/d)") + std::to_string(i + 1) + "\"}";
        chain += ",\"d" + std::to_string(i) + R"(":{"allOf":[)" + refs + "]}";
    }
    chain += "}";
    const std::string numbers = arrayOf([](int) { return "1"; });
    measure("small object, doubling schema", R"({"a":1})", doubling);
    measure("2 MB of numbers, doubling schema", numbers, doubling);
    measure("small object, tenfold chain without notes", R"({"a":1})", chain.c_str());
    measure("2 MB of numbers, tenfold chain without notes", numbers, chain.c_str());
}
