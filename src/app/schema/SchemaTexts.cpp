#include "app/schema/SchemaTexts.h"

#include "app/store/AppLanguage.h"

namespace quorilanth {

QString schemaKindTitle(NodeKind kind) {
    switch (kind) {
    case NodeKind::domain:
        return AppLanguage::pick(QStringLiteral("Dominio"), QStringLiteral("Domain"));
    case NodeKind::discovery:
        return QStringLiteral("Discovery");
    case NodeKind::manifest:
        return QStringLiteral("Manifest");
    case NodeKind::endpoint:
        return QStringLiteral("Endpoint / API");
    case NodeKind::mcp:
        return QStringLiteral("MCP Server");
    case NodeKind::tool:
        return AppLanguage::pick(QStringLiteral("Strumenti"), QStringLiteral("Tools"));
    case NodeKind::resource:
        return AppLanguage::pick(QStringLiteral("Risorse"), QStringLiteral("Resources"));
    case NodeKind::prompt:
        return QStringLiteral("Prompt");
    case NodeKind::content:
        return AppLanguage::pick(QStringLiteral("Contenuti"), QStringLiteral("Content"));
    }
    return {};
}

} // namespace quorilanth
