#include "app/technical/SelectableText.h"

#include "app/kit/RemoteText.h"

namespace quorilanth {
namespace {

QString cutText(QString text, qsizetype limit) {
    qsizetype keep = qMin(limit, text.size());
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) --keep;
    text.truncate(keep);
    return text + QChar(0x2026);
}

} // namespace

QString boundedText(std::string_view utf8, qsizetype limit) {
    // A UTF-16 unit needs at least one byte, so limit + 1 units lie within
    // 4 * (limit + 1) bytes; cut there on a character boundary.
    const std::size_t window = std::size_t(limit + 1) * 4;
    std::string_view head = utf8;
    if (head.size() > window) {
        head = head.substr(0, window);
        while (!head.empty() && (static_cast<unsigned char>(utf8[head.size()]) & 0xC0) == 0x80)
            head.remove_suffix(1);
    }
    QString text = QString::fromUtf8(head.data(), qsizetype(head.size()));
    if (text.size() <= limit && head.size() == utf8.size())
        return remoteText(text, DirectionControls::shown);
    return remoteText(cutText(std::move(text), limit), DirectionControls::shown);
}

QString boundedText(const QString& text, qsizetype limit) {
    return remoteText(text.size() <= limit ? text : cutText(text, limit), DirectionControls::shown);
}

SelectableText::SelectableText(QWidget* parent) : PlainTextView(parent) {}

} // namespace quorilanth
