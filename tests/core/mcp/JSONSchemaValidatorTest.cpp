#include "core/mcp/JSONSchemaValidator.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quorilanth {
namespace {

using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAreArray;

struct Case {
    const char* name;
    const char* schema;
    const char* value;
    std::vector<std::string> errors;
    std::vector<std::string> unsupported;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class SchemaCases : public ::testing::TestWithParam<Case> {};

TEST_P(SchemaCases, GivesExactlyTheseMessages) {
    const Case& c = GetParam();
    const SchemaValidation result =
        JSONSchemaValidator::validate(JSONValue::parse(c.value), JSONValue::parse(c.schema));
    // Object members are visited in no promised order, so lists compare as sets.
    EXPECT_THAT(result.errors, UnorderedElementsAreArray(c.errors));
    EXPECT_THAT(result.unsupported, UnorderedElementsAreArray(c.unsupported));
    EXPECT_EQ(result.isValid(), c.errors.empty() && c.unsupported.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Types, SchemaCases,
    ::testing::Values(
        Case{"type mismatch stops further keywords",
             R"({"type":"string","minLength":3})",
             "5",
             {"$: expected string"},
             {}},
        Case{"integer or null takes 3", R"({"type":["integer","null"]})", "3", {}, {}},
        Case{"integer or null takes 3.0", R"({"type":["integer","null"]})", "3.0", {}, {}},
        Case{"integer or null takes null", R"({"type":["integer","null"]})", "null", {}, {}},
        Case{"integer or null refuses 3.5",
             R"({"type":["integer","null"]})",
             "3.5",
             {"$: expected integer or null"},
             {}},
        Case{"non-string type names are skipped",
             R"({"type":[1,"boolean"]})",
             "\"x\"",
             {"$: expected boolean"},
             {}},
        Case{"unknown type name matches nothing",
             R"({"type":"float"})",
             "1.5",
             {"$: expected float"},
             {}},
        Case{"true schema", "true", "{\"a\":1}", {}, {}},
        Case{"false schema", "false", "1", {"$: forbidden by schema"}, {}},
        Case{"schema of another kind", "42", "1", {"$: invalid schema object"}, {}}));

INSTANTIATE_TEST_SUITE_P(
    Objects, SchemaCases,
    ::testing::Values(
        Case{"missing required", R"({"required":["city"]})", "{}", {"$.city: required"}, {}},
        Case{"wrong declared and unexpected extra",
             R"({"properties":{"n":{"type":"number"}},"additionalProperties":false})",
             R"({"n":"x","extra":1})",
             {"$.n: expected number", "$.extra: unexpected property"},
             {}},
        Case{"additional schema applies to extras",
             R"({"additionalProperties":{"type":"string"}})",
             R"({"a":1})",
             {"$.a: expected string"},
             {}},
        Case{"property counts",
             R"({"minProperties":2,"maxProperties":0})",
             R"({"a":1})",
             {"$: too few properties", "$: too many properties"},
             {}},
        Case{"nested path",
             R"({"properties":{"a":{"properties":{"b":{"type":"null"}}}}})",
             R"({"a":{"b":true}})",
             {"$.a.b: expected null"},
             {}}));

INSTANTIATE_TEST_SUITE_P(
    Arrays, SchemaCases,
    ::testing::Values(
        Case{"item path",
             R"({"items":{"type":"string"}})",
             R"(["a",2])",
             {"$[1]: expected string"},
             {}},
        Case{"array-valued items is invalid per element",
             R"({"items":[{"type":"string"}]})",
             R"([1])",
             {"$[0]: invalid schema object"},
             {}},
        Case{"counts and duplicates",
             R"({"minItems":3,"maxItems":1,"uniqueItems":true})",
             R"([{"a":1,"b":2},{"b":2,"a":1.0}])",
             {"$: too few items", "$: too many items", "$: duplicate items"},
             {}},
        Case{"distinct items", R"({"uniqueItems":true})", R"([1,"1",[1],{"1":1}])", {}, {}}));

INSTANTIATE_TEST_SUITE_P(
    Scalars, SchemaCases,
    ::testing::Values(
        Case{"emoji of two scalars is length 2",
             R"({"minLength":3,"maxLength":1})",
             "\"\\ud83d\\udc4d\\ud83c\\udffd\"",
             {"$: too short", "$: too long"},
             {}},
        Case{"pattern is never run",
             R"({"pattern":"^a+$"})",
             "\"b\"",
             {},
             {"$: remote regex patterns are not executed"}},
        Case{"0.3 is a multiple of 0.1", R"({"multipleOf":0.1})", "0.3", {}, {}},
        Case{"multipleOf zero", R"({"multipleOf":0})", "3", {"$: invalid multipleOf"}, {}},
        Case{"integral divisor written with fraction",
             R"({"multipleOf":2})",
             "3",
             {"$: not a multipleOf 2.0"},
             {}},
        Case{"fractional divisor",
             R"({"multipleOf":0.25})",
             "0.3",
             {"$: not a multipleOf 0.25"},
             {}},
        Case{"bounds",
             R"({"minimum":5,"exclusiveMaximum":4})",
             "4",
             {"$: below minimum", "$: above exclusive maximum"},
             {}},
        Case{"exclusive bounds and maximum",
             R"({"maximum":1,"exclusiveMinimum":9})",
             "9",
             {"$: above maximum", "$: below exclusive minimum"},
             {}},
        Case{"keywords of the wrong kind are ignored",
             R"({"minLength":"9","maximum":"0"})",
             "\"x\"",
             {},
             {}},
        Case{"enum compares structurally", R"({"enum":[{"a":[1,2]}]})", R"({"a":[1.0,2]})", {}, {}},
        Case{"outside enum", R"({"enum":[1,2]})", "\"1\"", {"$: value is outside enum"}, {}},
        Case{"const", R"({"const":null})", "false", {"$: value differs from const"}, {}}));

INSTANTIATE_TEST_SUITE_P(
    Combinations, SchemaCases,
    ::testing::Values(
        Case{"anyOf with an unsupported element does not pass",
             R"({"anyOf":[{"pattern":"x"},{"type":"number"}]})",
             "\"s\"",
             {"$: anyOf did not match"},
             {"$: remote regex patterns are not executed"}},
        Case{"oneOf matching twice",
             R"({"oneOf":[{"type":"number"},{"minimum":0}]})",
             "1",
             {"$: oneOf did not match"},
             {}},
        Case{"allOf does not copy element errors",
             R"({"allOf":[{"type":"string"},true]})",
             "1",
             {"$: allOf did not match"},
             {}},
        Case{"not", R"({"not":{"type":"string"}})", "\"a\"", {"$: forbidden by not"}, {}},
        Case{"empty combinations are ignored", R"({"allOf":[],"anyOf":{}})", "1", {}, {}}));

INSTANTIATE_TEST_SUITE_P(
    References, SchemaCases,
    ::testing::Values(
        Case{"escaped pointer piece",
             R"({"$defs":{"a/b~c":{"type":"string"}},"$ref":"#/$defs/a~1b~0c"})",
             "1",
             {"$: expected string"},
             {}},
        Case{"missing target", R"({"$ref":"#/$defs/none"})", "1", {"$: invalid schema object"}, {}},
        Case{"other keywords still apply",
             R"({"$defs":{"n":{"type":"number"}},"$ref":"#/$defs/n","maximum":0})",
             "1",
             {"$: above maximum"},
             {}},
        Case{"external reference",
             R"({"$ref":"other.json#/x"})",
             "1",
             {},
             {"$: external $ref is not fetched: other.json#/x"}},
        Case{"lone hash is external",
             R"({"$ref":"#"})",
             "1",
             {},
             {"$: external $ref is not fetched: #"}},
        Case{"unsupported keywords in their order",
             R"({"then":{},"if":{}})",
             "1",
             {},
             {"$: unsupported keyword if", "$: unsupported keyword then"}}));

TEST(JSONSchemaValidator, UnsupportedKeywordsKeepListOrder) {
    const auto result = JSONSchemaValidator::validate(
        JSONValue(1), JSONValue::parse(R"({"$dynamicRef":"#x","contains":{},"if":{}})"));
    EXPECT_THAT(result.unsupported,
                ElementsAreArray({"$: unsupported keyword if", "$: unsupported keyword contains",
                                  "$: unsupported keyword $dynamicRef"}));
}

TEST(JSONSchemaValidator, SelfReferenceEndsAtTheDepthLimit) {
    const auto result = JSONSchemaValidator::validate(
        JSONValue(1),
        JSONValue::parse(R"({"$defs":{"s":{"$ref":"#/$defs/s"}},"$ref":"#/$defs/s"})"));
    EXPECT_TRUE(result.errors.empty());
    EXPECT_THAT(result.unsupported, ElementsAreArray({"$: schema recursion limit"}));
}

// A definition that refers to itself more than once multiplies the work on
// every level; the depth limit alone lets the second schema here run for about
// 2^40 checks. The budget stops both with the recursion note, and such a
// validation does not pass.
TEST(JSONSchemaValidator, SelfMultiplyingReferencesAreStoppedByTheBudget) {
    const char* schemas[] = {
        R"({"$defs":{"x":{"allOf":[{"$ref":"#/$defs/x"},{"$ref":"#/$defs/x"}]}},"$ref":"#/$defs/x"})",
        R"({"$defs":{"x":{"$ref":"#/$defs/x","allOf":[{"$ref":"#/$defs/x"},{"$ref":"#/$defs/x"}]}},
            "$ref":"#/$defs/x"})",
    };
    for (const char* text : schemas) {
        const auto result =
            JSONSchemaValidator::validate(JSONValue::parse(R"({"a":1})"), JSONValue::parse(text));
        EXPECT_FALSE(result.isValid()) << text;
        EXPECT_LE(result.unsupported.size(), JSONSchemaValidator::kCheckBudget) << text;
        EXPECT_NE(std::find(result.unsupported.begin(), result.unsupported.end(),
                            "$: schema recursion limit"),
                  result.unsupported.end())
            << text;
    }
}

// The work inside one check counts too: a long list walked, or a long path
// copied into every finding, on each of the checks a schema can multiply.
TEST(JSONSchemaValidator, WorkInsideEachCheckIsPaidFromTheBudget) {
    const std::string longName(5000, 'k');
    const struct {
        const char* name;
        JSONValue value;
        JSONValue schema;
    } cases[] = {
        {"400 items, each missing one name listed 400 times",
         JSONValue(JSONValue::Array(400, JSONValue::emptyObject())),
         JSONValue::parse(R"({"items":{"required":)" +
                          JSONValue(JSONValue::Array(400, JSONValue("a"))).pretty() + "}}")},
        {"a long property name on every level of a doubling definition",
         JSONValue(JSONValue::Object{{longName, JSONValue(1)}}),
         JSONValue::parse(R"({"additionalProperties":{"$ref":"#/d"},"d":{
             "allOf":[{"$ref":"#/d"},{"$ref":"#/d"}],
             "if":1,"then":1,"else":1,"contains":1,"prefixItems":1,"propertyNames":1}})")},
    };
    for (const auto& c : cases) {
        const SchemaValidation result = JSONSchemaValidator::validate(c.value, c.schema);
        std::size_t bytes = 0;
        for (const auto* list : {&result.errors, &result.unsupported}) {
            for (const std::string& message : *list)
                bytes += message.size();
        }
        EXPECT_FALSE(result.isValid()) << c.name;
        EXPECT_LE(result.errors.size() + result.unsupported.size(),
                  JSONSchemaValidator::kCheckBudget)
            << c.name;
        // A unit of the budget pays for 64 bytes of kept text; the note that
        // says where the work stopped comes on top.
        EXPECT_LE(bytes, 64 * JSONSchemaValidator::kCheckBudget + longName.size() + 64) << c.name;
        EXPECT_TRUE(std::any_of(
            result.unsupported.begin(), result.unsupported.end(),
            [](const std::string& note) { return note.ends_with(": schema recursion limit"); }))
            << c.name;
    }
}

TEST(JSONSchemaValidator, BudgetAppliesToEachDirectCheck) {
    // A wide but honest value passes when it needs fewer checks than the budget.
    JSONValue::Array items(5000, JSONValue("x"));
    const auto schema = JSONValue::parse(R"({"type":"array","items":{"type":"string"}})");
    SchemaValidation result;
    JSONSchemaValidator::check(JSONValue(items), schema, "$", schema, 0, result);
    EXPECT_TRUE(result.isValid());
}

} // namespace
} // namespace quorilanth
