#include "core/schema/SchemaNavigator.h"

#include <algorithm>
#include <limits>

namespace quorilanth {

void SchemaNavigator::navigate(SchemaScope next) {
    if (next != scope) {
        if (trail.size() >= trailLimit) trail.erase(trail.begin());
        trail.push_back(std::move(scope));
    }
    scope = std::move(next);
    page = 0;
    query.clear();
}

void SchemaNavigator::back() {
    if (trail.empty()) {
        scope = SchemaScope::overview();
    } else {
        scope = std::move(trail.back());
        trail.pop_back();
    }
    page = 0;
    query.clear();
}

void SchemaNavigator::reset() {
    scope = SchemaScope::overview();
    trail.clear();
    page = 0;
    query.clear();
}

void SchemaNavigator::setQuery(std::string text) {
    if (text == query) return;
    query = std::move(text);
    page = 0;
}

void SchemaNavigator::previousPage(std::int64_t shownPage) {
    page = std::max<std::int64_t>(0, shownPage - 1);
}

void SchemaNavigator::nextPage(std::int64_t shownPage) {
    if (shownPage < std::numeric_limits<std::int64_t>::max()) page = shownPage + 1;
}

} // namespace quorilanth
