#pragma once

// The report the schema screen's tests draw: a shop with its tools.
#include "support/ReportBuilder.h"

#include <string>

namespace quorilanth::test {

inline const std::string shopOrigin = "https://shop.example/";

// The root, `tools` tools joined to it, one content page and one missing manifest.
inline ScanReport shop(int tools, const std::string& toolLabel = "tool") {
    testsupport::ReportBuilder b(shopOrigin);
    b.node(shopOrigin, NodeKind::domain, FindingStatus::found).label = "shop.example";
    for (int i = 0; i < tools; ++i) {
        const std::string id = shopOrigin + "mcp#tool:" + std::to_string(i);
        b.node(id, NodeKind::tool, FindingStatus::found).label = toolLabel + std::to_string(i);
        b.edge(shopOrigin, id, "tool", "e", "$");
    }
    b.node(shopOrigin + "about", NodeKind::content, FindingStatus::found);
    b.node(shopOrigin + "gone.json", NodeKind::manifest, FindingStatus::notFound);
    return b.report();
}

} // namespace quorilanth::test
