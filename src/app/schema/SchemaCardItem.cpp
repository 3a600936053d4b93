#include "app/schema/SchemaCardItem.h"

#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/Symbols.h"
#include "app/schema/SchemaTexts.h"
#include "app/store/AppLanguage.h"
#include "core/base/UnicodeText.h"
#include "core/base/Url.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <array>
#include <cmath>

namespace quorilanth {
namespace {

// No line of a card holds more characters than this, even in the smallest
// face; a longer text is cut before anything measures it.
constexpr std::size_t candidateCharacters = 400;
// ...and a character may be a base with endless marks, so bytes are capped too.
constexpr std::size_t candidateBytes = 4096;
constexpr qreal shadowMargin = 36;
constexpr qreal cachedPixels = 1.5e6;

const QColor& primaryWhite() {
    static const QColor colour = QColor::fromRgbF(0.94f, 0.94f, 0.94f);
    return colour;
}

const QColor& systemOrange() {
    static const QColor colour(255, 159, 10);
    return colour;
}

// At most candidateBytes of the text, never ending inside a UTF-8 sequence.
std::string_view bounded(std::string_view text) {
    if (text.size() <= candidateBytes) return text;
    std::size_t end = candidateBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
            c == QChar(0x2028) || c == QChar(0x2029))
            c = u' ';
    return text;
}

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Sharp up to the largest magnification.
constexpr qreal iconScale = 3;

QPixmap kindIcon(NodeKind kind) {
    const QString key = QStringLiteral("ql-schema-icon-") + Symbols::kind(kind);
    QPixmap icon;
    if (!QPixmapCache::find(key, &icon)) {
        icon = Symbols::pixmap(Symbols::kind(kind), QLTheme::color(kind), 16, iconScale);
        QPixmapCache::insert(key, icon);
    }
    return icon;
}

// Three passes of a box blur come close to a Gaussian; the shadow is one
// colour, so blurring premultiplied pixels is exact enough.
void boxBlur(QImage& image, int radius) {
    const int w = image.width();
    const int h = image.height();
    std::vector<std::array<int, 4>> line(static_cast<std::size_t>(std::max(w, h)));
    auto pass = [&](bool horizontal) {
        const int length = horizontal ? w : h;
        const int lines = horizontal ? h : w;
        for (int l = 0; l < lines; ++l) {
            auto pixel = [&](int i) -> QRgb& {
                return reinterpret_cast<QRgb*>(
                    image.scanLine(horizontal ? l : i))[horizontal ? i : l];
            };
            for (int i = 0; i < length; ++i) {
                const QRgb p = pixel(i);
                line[static_cast<std::size_t>(i)] = {qAlpha(p), qRed(p), qGreen(p), qBlue(p)};
            }
            std::array<int, 4> sum{};
            const int width = 2 * radius + 1;
            for (int i = -radius - 1; i < length + radius; ++i) {
                const int in = i + radius;
                const int out = i - radius - 1;
                for (int c = 0; c < 4; ++c) {
                    if (in >= 0 && in < length) sum[c] += line[static_cast<std::size_t>(in)][c];
                    if (out >= 0 && out < length) sum[c] -= line[static_cast<std::size_t>(out)][c];
                }
                if (i >= 0 && i < length)
                    pixel(i) =
                        qRgba(sum[1] / width, sum[2] / width, sum[3] / width, sum[0] / width);
            }
        }
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
}

QPixmap shadow(const QSizeF& size, const QColor& colour) {
    const QString key = QStringLiteral("ql-schema-shadow-%1x%2-%3")
                            .arg(size.width())
                            .arg(size.height())
                            .arg(colour.rgba(), 8, 16);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    QImage image(qCeil(size.width() + 2 * shadowMargin), qCeil(size.height() + 2 * shadowMargin),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRoundedRect(QRectF({shadowMargin, shadowMargin}, size), 13, 13);
    }
    boxBlur(image, 10);
    pixmap = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

bool needsAttention(FindingStatus status) {
    switch (status) {
    case FindingStatus::invalid:
    case FindingStatus::unreachable:
    case FindingStatus::unsupported:
    case FindingStatus::notFound:
    case FindingStatus::blocked:
        return true;
    default:
        return false;
    }
}

} // namespace

QColor blend(const QColor& from, const QColor& to, qreal fraction) {
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * fraction),
                            float(from.greenF() + (to.greenF() - from.greenF()) * fraction),
                            float(from.blueF() + (to.blueF() - from.blueF()) * fraction));
}

QString fitText(std::string_view text, qreal room, const TextWidth& width) {
    const std::string_view head = bounded(text);
    const std::size_t cut = unicodeText::graphemePrefix(head, candidateCharacters + 1);
    const bool whole = cut == text.size();
    // Measured as drawn: the site's direction controls shown as code points.
    const QString candidate = withoutDirectionControls(
        oneLine(QString::fromUtf8(head.data(), qsizetype(cut))), DirectionControls::shown);
    if (whole && width(candidate) <= room) return isolated(candidate);

    std::vector<qsizetype> ends; // where each character of the candidate ends
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, candidate);
    while (characters.toNextBoundary() > 0)
        ends.push_back(characters.position());
    // A character cut short by the byte cap is not a whole character.
    if (head.size() < text.size() && cut == head.size() && !ends.empty()) ends.pop_back();
    if (ends.size() > candidateCharacters) ends.resize(candidateCharacters);

    const QString ellipsis(QChar(0x2026));
    std::size_t low = 0;
    std::size_t high = ends.size();
    while (low < high) {
        const std::size_t mid = (low + high + 1) / 2;
        if (width(candidate.left(ends[mid - 1]) + ellipsis) <= room)
            low = mid;
        else
            high = mid - 1;
    }
    return isolated((low ? candidate.left(ends[low - 1]) : QString()) + ellipsis);
}

QString boundedText(std::string_view text) {
    const std::size_t cut = unicodeText::graphemePrefix(bounded(text), candidateCharacters);
    QString result = QString::fromUtf8(text.data(), qsizetype(cut));
    if (cut < text.size()) result += QChar(0x2026);
    return remoteText(result, DirectionControls::shown);
}

CanvasText canvasText(std::string_view text, const QRectF& frame, int size, const QColor& colour,
                      bool mono) {
    CanvasText result;
    result.font = mono ? QLTheme::font(size, QFont::Medium, QLTheme::Design::monospaced)
                       : QLTheme::font(size, QFont::DemiBold);
    const QFontMetricsF metrics(result.font);
    result.text = fitText(text, frame.width() - 2,
                          [&](const QString& line) { return metrics.horizontalAdvance(line); });
    result.frame = frame;
    result.colour = colour;
    return result;
}

void paintText(QPainter& painter, const CanvasText& text) {
    painter.setFont(text.font);
    painter.setPen(text.colour);
    painter.drawText(text.frame, int(text.alignment | Qt::AlignTop) | Qt::TextSingleLine,
                     text.text);
}

std::vector<CanvasText> cardTexts(const SchemaCard& card, const QSizeF& size) {
    const qreal w = size.width();
    const qreal h = size.height();
    const QColor kind = QLTheme::color(card.kind);
    std::vector<CanvasText> texts;
    auto add = [&](std::string_view text, QRectF frame, int fontSize, const QColor& colour,
                   bool mono) { texts.push_back(canvasText(text, frame, fontSize, colour, mono)); };
    auto own = [&](const QString& text, QRectF frame, int fontSize, const QColor& colour,
                   bool mono) { add(view(utf8(text)), frame, fontSize, colour, mono); };

    own(schemaKindTitle(card.kind).toUpper(), {40, 17, w - 78, 15}, 10, kind, true);
    if (card.members.empty()) return texts;

    if (card.isGroup()) {
        own(QString::number(card.members.size()), {16, 40, 95, 42}, 34, primaryWhite(), false);
        own(AppLanguage::pick(QStringLiteral("ELEMENTI"), QStringLiteral("OBSERVATIONS")),
            {105, 57, w - 120, 16}, 9, QLTheme::muted(), true);
        std::string members;
        for (std::size_t i = 0; i < std::min<std::size_t>(3, card.members.size()); ++i) {
            if (i) members += " \u00B7 ";
            members += bounded(card.members[i].label);
        }
        add(members, {16, 86, w - 32, 17}, 11, QLTheme::muted(), false);

        std::array<std::size_t, allFindingStatuses.size()> counts{};
        bool attention = false;
        for (const GraphNode& node : card.members) {
            ++counts[static_cast<std::size_t>(node.status)];
            attention = attention || needsAttention(node.status);
        }
        QString statuses;
        int shown = 0;
        for (FindingStatus status : allFindingStatuses) {
            const std::size_t n = counts[static_cast<std::size_t>(status)];
            if (!n || shown == 2) continue;
            if (shown++) statuses += QStringLiteral(" \u00B7 ");
            statuses += QString::number(n) + QLatin1Char(' ') + QLTheme::statusWord(status);
        }
        own(statuses, {16, 118, w - 120, 14}, 9, attention ? systemOrange() : QLTheme::muted(),
            true);
        own(AppLanguage::pick(QStringLiteral("ESPLORA  \u2192"), QStringLiteral("EXPLORE  \u2192")),
            {w - 97, 117, 85, 15}, 10, kind, true);
        return texts;
    }

    const GraphNode& node = card.members.front();
    const std::optional<Url> url = Url::parse(node.url.value_or(std::string()));
    std::string title = node.label;
    if (node.kind == NodeKind::mcp && url && url->hasHost() && !url->host().empty())
        title = url->host();
    if (node.kind == NodeKind::tool)
        add(title, {16, 39, w - 32, 24}, 15, primaryWhite(), true);
    else
        add(title, {16, 39, w - 32, 24}, 18, primaryWhite(), false);

    const QString statusWord = QLTheme::statusWord(node.status);
    const QRectF subtitle(16, h > 100 ? 70 : 64, w - 32, 16);
    if (node.kind == NodeKind::tool)
        own(AppLanguage::pick(QStringLiteral("Schema parametri \u00B7 TEST nell\u2019inspector"),
                              QStringLiteral("Input schema \u00B7 TEST in inspector")),
            subtitle, 10, QLTheme::muted(), true);
    else if (std::string path = url ? url->path() : std::string(); !path.empty())
        add(path, subtitle, 10, QLTheme::muted(), true);
    else
        own(statusWord, subtitle, 10, QLTheme::muted(), true);

    if (h > 100) {
        own(statusWord, {16, h - 26, 125, 15}, 9, QLTheme::status(node.status), true);
        own(AppLanguage::pick(QStringLiteral("ISPEZIONA  \u2197"),
                              QStringLiteral("INSPECT  \u2197")),
            {w - 115, h - 27, 103, 15}, 10, kind, true);
    }
    return texts;
}

SchemaCardItem::SchemaCardItem(const SchemaCard& card, const QSizeF& size, bool selected)
    : size_(size), selected_(selected), kind_(card.kind), texts_(cardTexts(card, size)) {
    if (!card.isGroup() && !card.members.empty())
        status_ = QLTheme::status(card.members.front().status);
}

QRectF SchemaCardItem::boundingRect() const {
    return QRectF({0, 0}, size_).adjusted(-shadowMargin, -shadowMargin, shadowMargin, shadowMargin);
}

void SchemaCardItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    // Painted once for each magnification, then copied pixel for pixel:
    // repaints while hovering, panning and revealing cost one copy a card.
    const QTransform world = painter->worldTransform();
    const qreal ratio = painter->device()->devicePixelRatio();
    const qreal scale = world.m11() * ratio;
    const QRectF bounds = boundingRect();
    // Past some millions of pixels a card (a dense screen, magnified) is
    // painted directly rather than held in memory.
    if (world.type() > QTransform::TxScale || world.m11() != world.m22() ||
        bounds.width() * bounds.height() * scale * scale > cachedPixels) {
        paintCard(*painter);
        return;
    }
    if (cache_.isNull() || cacheScale_ != scale) {
        QImage image((bounds.size() * scale).toSize() + QSize(1, 1),
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter card(&image);
        card.scale(scale, scale);
        card.translate(-bounds.topLeft());
        paintCard(card);
        card.end();
        cache_ = QPixmap::fromImage(std::move(image));
        cache_.setDevicePixelRatio(ratio);
        cacheScale_ = scale;
    }
    const QPointF origin = world.map(bounds.topLeft()) * ratio;
    painter->save();
    painter->resetTransform();
    painter->drawPixmap(QPointF(std::round(origin.x()), std::round(origin.y())) / ratio, cache_);
    painter->restore();
}

void SchemaCardItem::paintCard(QPainter& p) const {
    QPainter* painter = &p;
    const QColor kind = QLTheme::color(kind_);
    const QRectF card({0, 0}, size_);
    painter->drawPixmap(QPointF(-shadowMargin, -shadowMargin),
                        shadow(size_, QLTheme::tint(kind, selected_ ? 0.13 : 0.04)));

    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal border = selected_ ? 1.5 : 0.8;
    QPainterPath outline;
    outline.addRoundedRect(card, 13, 13);
    painter->fillPath(outline, blend(QLTheme::raised(), kind, selected_ ? 0.12 : 0.025));
    QLinearGradient tint(card.topLeft(), card.bottomRight());
    tint.setColorAt(0, QLTheme::tint(kind, 0.08));
    tint.setColorAt(1, Qt::transparent);
    painter->fillPath(outline, tint);
    // The border lies inside the card, as a layer's border does.
    painter->setPen(QPen(QLTheme::tint(kind, selected_ ? 0.85 : 0.32), border));
    painter->setBrush(Qt::NoBrush);
    const qreal inset = border / 2;
    painter->drawRoundedRect(card.adjusted(inset, inset, -inset, -inset), 13 - inset, 13 - inset);

    painter->fillRect(QRectF(0, 22, 2, std::max(size_.height() - 44, 30.0)),
                      QLTheme::tint(kind, 0.9));
    painter->drawPixmap(QRectF(16, 15, 16, 16), kindIcon(kind_), QRectF());
    if (status_.isValid()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(status_);
        painter->drawEllipse(QRectF(size_.width() - 22, 20, 5, 5));
    }
    for (const CanvasText& text : texts_)
        paintText(*painter, text);
}

} // namespace quorilanth
