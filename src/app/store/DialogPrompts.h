#pragma once

#include "app/store/WorkspacePrompts.h"

namespace quorilanth {

// The desktop's answers: modal file dialogs and the collection-name alert.
class DialogPrompts final : public WorkspacePrompts {
public:
    std::optional<QString> openReportPath() override;
    std::optional<QString> savePath(const QString& suggestedName) override;
    std::optional<QString> collectionName(const QString& current) override;
};

} // namespace quorilanth
