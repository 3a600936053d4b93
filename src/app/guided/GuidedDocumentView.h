#pragma once

#include "core/model/GraphNode.h"

#include <QWidget>
#include <optional>
#include <string>

namespace quorilanth {

class WorkspaceStore;

// One discovered document read to a non-technical reader: what the scan
// parsed from it, else the start of what the site sent, else a sentence that
// it is a web page; and two ways out, to the source and to the technical
// panes. It fetches nothing.
class GuidedDocumentView : public QWidget {
    Q_OBJECT
public:
    GuidedDocumentView(WorkspaceStore& store, const GraphNode& node, QWidget* parent = nullptr);

    // Characters of a body the preview shows, as the reader counts them.
    static constexpr std::size_t previewLimit = 12000;
    // The address the open button leads to: the node's, when it is a safe web address.
    static std::optional<std::string> sourceURL(const GraphNode& node);
};

} // namespace quorilanth
