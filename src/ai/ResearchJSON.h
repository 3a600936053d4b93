#pragma once

#include "ai/ResearchResult.h"

#include <string>
#include <string_view>

namespace quorilanth {

// The JSON form of the research records: an object whose keys are the field
// names, laid out by the shared pretty writer (keys in byte order, dates as the
// report writes them, the provider as its raw value, exchanges in their report
// form). Reading is strict: every key is required with its type, unknown keys
// are ignored, and any fault throws QuorilanthError naming the place.
namespace ResearchJSON {

std::string write(const SearchCandidate& candidate);
std::string write(const ResearchResult& result);
SearchCandidate readCandidate(std::string_view text);
ResearchResult readResult(std::string_view text);

} // namespace ResearchJSON

} // namespace quorilanth
