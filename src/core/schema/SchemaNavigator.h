#pragma once

#include "core/schema/SchemaProjection.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorilanth {

// Where the schema screen stands: the scope shown, the page asked for (the
// projection clamps it), the filter text and the scopes to go back to. It
// lives as long as the screen and starts at the overview.
struct SchemaNavigator {
    SchemaScope scope;
    std::int64_t page = 0;
    std::string query;
    // Earlier scopes, most recent last.
    std::vector<SchemaScope> trail;

    // Opening a long chain of branches must not grow the trail without end;
    // beyond this the oldest steps are forgotten.
    static constexpr std::size_t trailLimit = 256;

    // Remembers the current scope when the new one differs; always starts the
    // new scope on its first page with no filter.
    void navigate(SchemaScope next);
    // The last remembered scope, or the overview when there is none.
    void back();
    // The overview with nothing to go back to: a new report, the Overview
    // button, focus on the selection turned off.
    void reset();
    // A changed filter starts again from the first page.
    void setQuery(std::string text);
    // Paging moves from the page the scene shows, which may differ from the
    // one asked for.
    void previousPage(std::int64_t shownPage);
    void nextPage(std::int64_t shownPage);
};

} // namespace quorilanth
