#pragma once

#include "core/base/JSONValue.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quorilanth {

// What a schema check found: errors (the value breaks the schema) and
// unsupported notes (the schema asks for something this checker does not
// verify). Only a result with neither passes.
struct SchemaValidation {
    std::vector<std::string> errors;
    std::vector<std::string> unsupported;

    bool isValid() const noexcept { return errors.empty() && unsupported.empty(); }
    friend bool operator==(const SchemaValidation&, const SchemaValidation&) = default;
};

// A small, bounded JSON Schema checker for tool arguments and results. It
// resolves only references inside the schema, never runs a pattern and never
// fetches anything. Schemas come from remote servers, so the work of one
// validation is bounded twice: by nesting depth and by a total amount of work
// that grows with the size of the value checked.
class JSONSchemaValidator {
public:
    // Checks deeper than this are not made.
    static constexpr int kMaxDepth = 39;
    // Work one validation may do, in units of one check, one element a check
    // looks through (enum, required, type names, members, compared or hashed
    // nodes) or 64 bytes of text it reads or keeps. The depth limit alone does
    // not bound the work: a definition that refers to itself twice doubles it
    // per level. An honest schema visits each part of the value a few times, so
    // the budget is a floor for small values plus a share per unit of the
    // value's own size (its nodes, and its texts by the 64 bytes). The messages
    // kept are paid for within the floor alone.
    static constexpr std::size_t kBaseBudget = 100000;
    static constexpr std::size_t kBudgetPerValueUnit = 16;

    static SchemaValidation validate(const JSONValue& value, const JSONValue& schema);

    // Adds the findings of checking value against schema at path to result.
    // root is the document that "$ref" pointers are resolved in.
    static void check(const JSONValue& value, const JSONValue& schema, const std::string& path,
                      const JSONValue& root, int depth, SchemaValidation& result);
};

} // namespace quorilanth
