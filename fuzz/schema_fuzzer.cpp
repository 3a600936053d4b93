// A hostile schema against a hostile value (the value's JSON on the first
// line, the schema's after it): both come from remote servers. The checker
// never throws, always finishes, and a result with findings never passes.
#include "FuzzInput.h"
#include "core/mcp/JSONSchemaValidator.h"

using namespace quorilanth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [valueText, schemaText] = fuzz::splitLine(fuzz::text(data, size));
    JSONValue value;
    JSONValue schema;
    try {
        value = JSONValue::parse(valueText);
        schema = JSONValue::parse(schemaText);
    } catch (const JSONParseError&) {
        return 0;
    }
    const SchemaValidation result = JSONSchemaValidator::validate(value, schema);
    if (result.isValid() != (result.errors.empty() && result.unsupported.empty())) {
        __builtin_trap();
    }
    return 0;
}
