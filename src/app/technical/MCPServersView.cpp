#include "app/technical/MCPServersView.h"

#include "app/kit/Panel.h"
#include "app/kit/QLTheme.h"
#include "app/kit/StatusBadge.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "app/technical/JSONTree.h"
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"
#include "app/technical/TechnicalKit.h"
#include "core/report/ReportGenerator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <span>

namespace quorilanth {
namespace {

struct ToolRow {
    std::string id;
    QString name;
    ToolSafety safety = ToolSafety::unknown;

    QString identifier() const { return QString::fromStdString(id); }
    QString spoken() const {
        return name + QStringLiteral(", ") + QString::fromUtf8(toString(safety).data());
    }
    bool sameRow(const ToolRow& other) const { return id == other.id; }
    friend bool operator==(const ToolRow&, const ToolRow&) = default;
};

constexpr int toolPadding = 11, toolSpacing = 8, toolIcon = 13;

class ToolPainter final : public RowPainter {
public:
    RowModel<ToolRow> model;

    int height(int, int) const override {
        return toolPadding + std::max(toolIcon, QFontMetrics(nameFont).height()) + toolPadding;
    }

    void paint(QPainter& painter, const QRect& box, int index) const override {
        const ToolRow& row = model.rows()[std::size_t(index)];
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath card;
        card.addRoundedRect(QRectF(box), 5, 5);
        painter.fillPath(card, QLTheme::background());
        const qreal ratio = painter.device()->devicePixelRatioF();
        const QRect inner = box.adjusted(toolPadding, toolPadding, -toolPadding, -toolPadding);
        const int middle = inner.center().y();
        painter.drawPixmap(
            inner.left(), middle - toolIcon / 2,
            Symbols::pixmap(QStringLiteral("terminal"), QLTheme::accent(), toolIcon, ratio));
        painter.drawPixmap(
            inner.right() + 1 - toolIcon, middle - toolIcon / 2,
            Symbols::pixmap(QStringLiteral("arrow.up.right"), QLTheme::accent(), toolIcon, ratio));
        const QString safety = QString::fromUtf8(toString(row.safety).data());
        const int safetyWidth = QFontMetrics(safetyFont).horizontalAdvance(safety);
        const int safetyLeft = inner.right() + 1 - toolIcon - toolSpacing - safetyWidth;
        painter.setFont(safetyFont);
        painter.setPen(QLTheme::muted());
        painter.drawText(QRect(safetyLeft, inner.top(), safetyWidth, inner.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, safety);
        const int nameLeft = inner.left() + toolIcon + toolSpacing;
        const int nameWidth = safetyLeft - toolSpacing - nameLeft;
        painter.setFont(nameFont);
        painter.setPen(QLTheme::accent());
        painter.drawText(QRect(nameLeft, inner.top(), nameWidth, inner.height()),
                         Qt::AlignVCenter | Qt::AlignLeft,
                         QFontMetrics(nameFont).elidedText(row.name, Qt::ElideRight, nameWidth));
    }

private:
    QFont nameFont = QLTheme::font(12, QFont::Normal, QLTheme::Design::monospaced);
    QFont safetyFont = QLTheme::font(9, QFont::Normal, QLTheme::Design::monospaced);
};

QString serverName(const JSONValue& info) {
    const std::optional<std::string_view> name = info["name"].string();
    return name ? boundedText(*name, rowTextLimit) : QStringLiteral("MCP endpoint");
}

bool advertises(const JSONValue& capabilities, std::string_view key) {
    return capabilities.find(key) != nullptr;
}

// What a card shows of its server; the lists of resources and prompts are
// not shown, so their changes leave the card alone.
bool sameCard(const MCPServer& a, const MCPServer& b) {
    return a.url == b.url && a.transport == b.transport && a.version == b.version &&
           a.info["name"] == b.info["name"] && a.capabilities == b.capabilities &&
           a.status == b.status && a.latencyMS == b.latencyMS && a.tools == b.tools &&
           a.issues == b.issues;
}

} // namespace

class MCPServersView::Card final {
public:
    Card(WorkspaceStore& store, const MCPServer& server) : server_(server) {
        auto* content = new QWidget;
        auto* column = new QVBoxLayout(content);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(10);

        auto* title = new QHBoxLayout;
        // The name comes from the server: it wraps beside the badge, whole.
        auto* name = valueText(serverName(server.info), QLTheme::font(20, QFont::Medium),
                               QLTheme::foreground(), content);
        name->setObjectName(QStringLiteral("ql-mcp-name"));
        title->addWidget(name, 1);
        title->addWidget(new StatusBadge(server.status, content), 0, Qt::AlignTop);
        column->addLayout(title);

        column->addWidget(valueText(server.url,
                                    QLTheme::font(12, QFont::Normal, QLTheme::Design::monospaced),
                                    QLTheme::accent(), content));

        auto* facts = new QHBoxLayout;
        facts->setSpacing(25);
        const QFont factFont = QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced);
        for (const QString& fact :
             {QStringLiteral("PROTOCOL ") + boundedText(server.version, rowTextLimit),
              QString::number(ReportGenerator::wholeMilliseconds(server.latencyMS)) +
                  QStringLiteral(" MS"),
              QString::number(server.tools.size()) + QStringLiteral(" TOOLS")}) {
            // The version is the server's own text: it may need several lines.
            QWidget* label =
                facts->isEmpty()
                    ? static_cast<QWidget*>(valueText(fact, factFont, QLTheme::muted(), content))
                    : plainLabel(content, factFont, QLTheme::muted(), fact);
            label->setObjectName(QStringLiteral("ql-mcp-fact"));
            facts->addWidget(label);
        }
        facts->addStretch(1);
        column->addLayout(facts);
        column->addWidget(new JSONTree(server.capabilities, 0, content));

        const QFont noteFont = QLTheme::font(11);
        for (const auto& [key, note] :
             {std::pair{"resources", "Resources: capability not advertised"},
              std::pair{"prompts", "Prompts: capability not advertised"}}) {
            if (advertises(server.capabilities, key)) continue;
            QLabel* label =
                plainLabel(content, noteFont, QLTheme::muted(), QString::fromUtf8(note));
            label->setObjectName(QStringLiteral("ql-mcp-note"));
            column->addWidget(label);
        }
        for (const std::string& issue : server.issues) {
            auto* label = valueText(issue, noteFont, QLTheme::attention(), content);
            label->setObjectName(QStringLiteral("ql-mcp-issue"));
            column->addWidget(label);
        }

        const std::size_t shown = std::min(server.tools.size(), toolLimit);
        std::vector<ToolRow> rows;
        rows.reserve(shown);
        for (const MCPTool& tool : std::span(server.tools).first(shown))
            rows.push_back(
                {tool.id(), singleLine(boundedText(tool.name(), rowTextLimit)), tool.safety()});
        tools_.model.setRows(std::move(rows));
        auto* list = new RowList(tools_, false, 8, content);
        list->setObjectName(QStringLiteral("ql-mcp-tools"));
        list->setAccessibleName(QStringLiteral("Tools"));
        list->setCursor(Qt::PointingHandCursor);
        list->setModel(&tools_.model);
        list->setVisible(!server.tools.empty());
        QObject::connect(list, &RowList::chosen, list, [this, &store](int row) {
            store.select(tools_.model.rows()[std::size_t(row)].id);
        });
        column->addWidget(list);
        if (const std::size_t rest = server.tools.size() - shown) {
            QLabel* more = plainLabel(content, noteFont, QLTheme::muted(),
                                      QString::number(rest) +
                                          (rest == 1 ? QStringLiteral(" more tool\u2026")
                                                     : QStringLiteral(" more tools\u2026")));
            more->setObjectName(QStringLiteral("ql-mcp-more-tools"));
            column->addWidget(more);
        }

        panel_ = new quorilanth::Panel(
            QStringLiteral("MCP \u00B7 ") + boundedText(server.transport, rowTextLimit), content);
        panel_->setObjectName(QStringLiteral("ql-mcp-card"));
    }
    ~Card() { delete panel_; }

    const MCPServer& server() const { return server_; }
    quorilanth::Panel* panel() const { return panel_; }

private:
    MCPServer server_;
    ToolPainter tools_;
    quorilanth::Panel* panel_;
};

MCPServersView::MCPServersView(WorkspaceStore& store, QWidget* parent)
    : ScrollPage(parent), store_(store),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    empty_ = plainLabel(widget(), QLTheme::font(13), QLTheme::muted(),
                        QStringLiteral("No MCP server has been verified in this scan."));
    empty_->setObjectName(QStringLiteral("ql-mcp-empty"));
    empty_->setContentsMargins(40, 40, 40, 40);
    connect(&store_, &WorkspaceStore::reportChanged, renderer_, &CoalescedRender::request);
    render();
}

MCPServersView::~MCPServersView() = default;

void MCPServersView::render() {
    std::vector<const MCPServer*> verified;
    if (const std::optional<ScanReport>& report = store_.report())
        for (const MCPServer& server : report->servers)
            if (server.status == FindingStatus::valid) verified.push_back(&server);

    std::map<std::string, std::unique_ptr<Card>> cards;
    for (const MCPServer* server : verified) {
        auto kept = cards_.find(server->url);
        if (kept != cards_.end() && sameCard(kept->second->server(), *server)) {
            cards.insert(cards_.extract(kept));
        } else if (!cards.count(server->url)) {
            cards.emplace(server->url, std::make_unique<Card>(store_, *server));
        }
    }
    cards_ = std::move(cards);

    QLayout* layout = column();
    while (QLayoutItem* item = layout->takeAt(0))
        delete item;
    for (const MCPServer* server : verified) {
        quorilanth::Panel* panel = cards_.at(server->url)->panel();
        if (layout->indexOf(panel) >= 0) continue; // a URL listed twice shows one card
        column()->addWidget(panel);
        panel->show();
    }
    empty_->setVisible(verified.empty());
    if (verified.empty()) column()->addWidget(empty_, 0, Qt::AlignHCenter);
    column()->addStretch(1);
}

} // namespace quorilanth
