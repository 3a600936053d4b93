#include "app/kit/RemoteText.h"

#include "core/base/Url.h"

#include <algorithm>
#include <optional>

namespace quorilanth {
namespace {

constexpr QChar firstStrongIsolate(0x2068);
constexpr QChar popDirectionalIsolate(0x2069);

bool isRightToLeft(char32_t code) {
    switch (QChar::direction(code)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
        return true;
    default:
        return false;
    }
}

bool holdsRightToLeft(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        if (isRightToLeft(code)) return true;
    }
    return false;
}

} // namespace

bool isDirectionControl(QChar unit) {
    const char16_t code = unit.unicode();
    return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) ||
           code == 0x200E || code == 0x200F || code == 0x061C;
}

QString withoutDirectionControls(const QString& text, DirectionControls controls) {
    qsizetype first = 0;
    while (first < text.size() && !isDirectionControl(text.at(first)))
        ++first;
    if (first == text.size()) return text;
    QString result = text.left(first);
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        if (!isDirectionControl(unit))
            result += unit;
        else if (controls == DirectionControls::shown)
            result += QStringLiteral("\u27E8U+") +
                      QString::number(unit.unicode(), 16).toUpper().rightJustified(4, u'0') +
                      QChar(0x27E9);
    }
    return result;
}

QString isolated(const QString& text) {
    return holdsRightToLeft(text) ? firstStrongIsolate + text + popDirectionalIsolate : text;
}

QString remoteText(const QString& text, DirectionControls controls) {
    // Our own isolate only ever holds right-to-left text with no controls of
    // its own; a site's pair around anything else is one of its controls.
    if (text.size() >= 2 && text.front() == firstStrongIsolate &&
        text.back() == popDirectionalIsolate) {
        const QStringView inside = QStringView(text).sliced(1, text.size() - 2);
        if (holdsRightToLeft(inside) &&
            std::none_of(inside.begin(), inside.end(), isDirectionControl))
            return text;
    }
    return isolated(withoutDirectionControls(text, controls));
}

std::string hostOrAddress(std::string_view address) {
    const std::optional<Url> url = Url::parse(address);
    std::string host = url && url->hasHost() ? url->host() : std::string();
    return host.empty() ? std::string(address) : host;
}

QString siteName(std::string_view domain, DirectionControls controls) {
    return remoteText(QString::fromStdString(hostOrAddress(domain)), controls);
}

} // namespace quorilanth
