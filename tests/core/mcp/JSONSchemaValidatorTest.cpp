#include "core/mcp/JSONSchemaValidator.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

// Object members are visited in no promised order, so messages compare sorted.
std::string sortedText(std::vector<std::string> messages) {
    std::sort(messages.begin(), messages.end());
    std::string text;
    for (const std::string& message : messages)
        text += (text.empty() ? "" : " | ") + message;
    return text;
}

TEST(JSONSchemaValidator, GivesExactlyTheseMessages) {
    struct Row {
        const char* schema;
        const char* value;
        const char* errors; // sorted, joined by " | "
        const char* unsupported = "";
    };
    const Row rows[] = {
        {R"({"type":"string","minLength":3})", "5", "$: expected string"},
        {R"({"type":["integer","null"]})", "3.0", ""},
        {R"({"type":["integer","null"]})", "3.5", "$: expected integer or null"},
        {R"({"type":"float"})", "1.5", "$: expected float"},
        {R"({"type":["","string",7]})", "1", "$: expected  or string"},
        {"true", "{\"a\":1}", ""},
        {"false", "1", "$: forbidden by schema"},
        {"42", "1", "$: invalid schema object"},
        {R"({"required":["city"]})", "{}", "$.city: required"},
        {R"({"properties":{"n":{"type":"number"}},"additionalProperties":false})",
         R"({"n":"x","extra":1})", "$.extra: unexpected property | $.n: expected number"},
        {R"({"minProperties":2,"maxProperties":0})", R"({"a":1})",
         "$: too few properties | $: too many properties"},
        {R"({"properties":{"a":{"items":{"type":"null"}}}})", R"({"a":[null,true]})",
         "$.a[1]: expected null"},
        {R"({"items":[{"type":"string"}]})", "[1]", "$[0]: invalid schema object"},
        {R"({"minItems":3,"maxItems":1,"uniqueItems":true})", R"([{"a":1,"b":2},{"b":2,"a":1.0}])",
         "$: duplicate items | $: too few items | $: too many items"},
        {R"({"uniqueItems":true})", R"([1,"1",[1],{"1":1}])", ""},
        // Scalars: an emoji of two scalars has length 2; patterns are never run.
        {R"({"minLength":3,"maxLength":1})", R"("\ud83d\udc4d\ud83c\udffd")",
         "$: too long | $: too short"},
        {R"({"pattern":"^a+$"})", "\"b\"", "", "$: remote regex patterns are not executed"},
        {R"({"multipleOf":0.1})", "0.3", ""},
        {R"({"multipleOf":0})", "3", "$: invalid multipleOf"},
        {R"({"multipleOf":2})", "3", "$: not a multipleOf 2.0"},
        {R"({"minimum":5,"exclusiveMaximum":4})", "4",
         "$: above exclusive maximum | $: below minimum"},
        {R"({"minLength":"9","maximum":"0"})", "\"x\"", ""},
        {R"({"enum":[{"a":[1,2]}]})", R"({"a":[1.0,2]})", ""},
        {R"({"const":null})", "false", "$: value differs from const"},
        // Combinations: an unsupported element never lets anyOf pass.
        {R"({"anyOf":[{"pattern":"x"},{"type":"number"}]})", "\"s\"", "$: anyOf did not match",
         "$: remote regex patterns are not executed"},
        {R"({"oneOf":[{"type":"number"},{"minimum":0}]})", "1", "$: oneOf did not match"},
        {R"({"not":{"type":"string"}})", "\"a\"", "$: forbidden by not"},
        {R"({"allOf":[],"anyOf":{}})", "1", ""},
        {R"({"$defs":{"a/b~c":{"type":"string"}},"$ref":"#/$defs/a~1b~0c"})", "1",
         "$: expected string"},
        {R"({"$defs":{"n":{"type":"number"}},"$ref":"#/$defs/n","maximum":0})", "1",
         "$: above maximum"},
        {R"({"$ref":"other.json#/x"})", "1", "", "$: external $ref is not fetched: other.json#/x"},
        {R"({"$ref":"#"})", "1", "", "$: external $ref is not fetched: #"},
        {R"({"$defs":{"s":{"$ref":"#/$defs/s"}},"$ref":"#/$defs/s"})", "1", "",
         "$: schema recursion limit"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.schema);
        const SchemaValidation result = JSONSchemaValidator::validate(JSONValue::parse(row.value),
                                                                      JSONValue::parse(row.schema));
        EXPECT_EQ(sortedText(result.errors), row.errors);
        EXPECT_EQ(sortedText(result.unsupported), row.unsupported);
        EXPECT_EQ(result.isValid(), !*row.errors && !*row.unsupported);
    }
}

// A schema is read the same whether it holds a handful of members or hundreds
// of unknown ones beside its keywords, and whether the value meets a few of
// its subschemas or thousands of different ones.
TEST(JSONSchemaValidator, WideSchemasAndThousandsOfSubschemasReadEveryKeyword) {
    auto junk = [](int count) {
        std::string members;
        for (int i = 0; i < count; ++i)
            members += "\"x-" + std::to_string(i) + "\":" + std::to_string(i) + ",";
        return members;
    };
    const int many = 6000;
    std::string properties, members;
    for (int i = 0; i < many; ++i) {
        properties += (i ? "," : "") + ("\"p" + std::to_string(i) + "\":{\"maximum\":") +
                      std::to_string(i) + "}";
        members += (i ? "," : "") + ("\"p" + std::to_string(i) + "\":") + std::to_string(i + 1);
    }
    const struct {
        std::string schema, value;
        std::size_t errors, unsupported;
    } cases[] = {
        {"{" + junk(3) + R"("if":1,"minimum":5,"type":"integer"})", "4", 1, 1},
        {"{" + junk(500) + R"("if":1,"minimum":5,"type":"integer"})", "4", 1, 1},
        {"{" + junk(500) + R"("$ref":"#/d","d":{"type":"string"},"$dynamicRef":1})", "4", 1, 1},
        {R"({"properties":{)" + properties + "}}", "{" + members + "}", many, 0},
    };
    for (const auto& c : cases) {
        const SchemaValidation result =
            JSONSchemaValidator::validate(JSONValue::parse(c.value), JSONValue::parse(c.schema));
        EXPECT_EQ(result.errors.size(), c.errors) << c.schema.substr(0, 60);
        EXPECT_EQ(result.unsupported.size(), c.unsupported) << c.schema.substr(0, 60);
    }
}

// Honest values far larger than any schema are judged on their merits in a
// pass or two: the work budget grows with the value. A definition that refers
// to itself more than once multiplies the work on every level (the depth limit
// alone lets these run for about 2^40 checks), and long lists walked or long
// paths kept in every finding multiply it too: those stop at the budget, say
// so once, keep no more text than it pays for, and do not pass.
TEST(JSONSchemaValidator, WorkGrowsWithTheValueButSelfMultiplyingWorkStops) {
    const JSONValue record = JSONValue::parse(R"({"id":7,"name":"a plain record"})");
    const std::string huge(100000, 'k'), longName(5000, 'k');
    const std::string doubling =
        R"({"$defs":{"x":{"allOf":[{"$ref":"#/$defs/x"},{"$ref":"#/$defs/x"}]}},"$ref":"#/$defs/x"})";
    const std::tuple<JSONValue, std::string, bool> cases[] = {
        {JSONValue::Array(20000, record), R"({"items":{"type":"object","required":["id","name"],
             "properties":{"id":{"type":"integer"},"name":{"type":"string"}}}})",
         true},
        {JSONValue::Array(60000, JSONValue("abc")),
         R"({"type":"array","items":{"anyOf":[{"type":"string"},{"type":"null"}]}})", true},
        {JSONValue::Object{{huge, JSONValue::Array(630000, JSONValue::emptyArray())}},
         R"({"additionalProperties":{"items":{"$ref":"#/$defs/e"}},"$defs":{"e":{"maxItems":0}}})",
         true},
        {JSONValue::parse(R"({"a":1})"), doubling, false},
        {JSONValue::Array(200000, JSONValue(1)), doubling, false},
        {JSONValue::parse(R"({"a":1})"), R"({"$defs":{"x":{"$ref":"#/$defs/x",
             "allOf":[{"$ref":"#/$defs/x"},{"$ref":"#/$defs/x"}]}},"$ref":"#/$defs/x"})",
         false},
        {JSONValue::Array(400, JSONValue::emptyObject()),
         R"({"items":{"required":)" + JSONValue(JSONValue::Array(400, JSONValue("a"))).pretty() +
             "}}",
         false},
        {JSONValue::Object{{longName, JSONValue(1)}},
         R"({"additionalProperties":{"$ref":"#/d"},"d":{
             "allOf":[{"$ref":"#/d"},{"$ref":"#/d"}],
             "if":1,"then":1,"else":1,"contains":1,"prefixItems":1,"propertyNames":1}})",
         false},
    };
    for (const auto& [value, schema, honest] : cases) {
        const SchemaValidation result =
            JSONSchemaValidator::validate(value, JSONValue::parse(schema));
        std::size_t bytes = 0, notes = 0;
        for (const auto* list : {&result.errors, &result.unsupported})
            for (const std::string& message : *list)
                bytes += message.size(),
                    notes += message.ends_with(": schema check work limit reached");
        EXPECT_EQ(result.isValid(), honest) << schema.substr(0, 80);
        EXPECT_EQ(notes, honest ? 0u : 1u) << schema.substr(0, 80);
        // A unit of the budget pays for 64 bytes of kept text, whatever the
        // value's size; the note that says where the work stopped comes on top.
        EXPECT_LE(bytes, 64 * JSONSchemaValidator::kBaseBudget + longName.size() + 64);
    }
}

} // namespace
} // namespace quorilanth
