#pragma once

#include <QString>
#include <optional>

namespace quorilanth {

// The modal questions the store asks the user. The desktop answers them with
// dialogs; tests answer them directly. Each returns nothing when the user cancels.
class WorkspacePrompts {
public:
    virtual ~WorkspacePrompts() = default;
    // A JSON report file to open.
    virtual std::optional<QString> openReportPath() = 0;
    // Where to save an export, starting from the suggested file name.
    virtual std::optional<QString> savePath(const QString& suggestedName) = 0;
    // A collection name, starting from the current one (empty when none).
    virtual std::optional<QString> collectionName(const QString& current) = 0;
};

} // namespace quorilanth
