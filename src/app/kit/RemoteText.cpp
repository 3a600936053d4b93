#include "app/kit/RemoteText.h"

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
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        if (isRightToLeft(code)) return firstStrongIsolate + text + popDirectionalIsolate;
    }
    return text;
}

QString remoteText(const QString& text, DirectionControls controls) {
    // Our own isolate around text without controls of its own.
    if (text.size() >= 2 && text.front() == firstStrongIsolate &&
        text.back() == popDirectionalIsolate) {
        bool own = true;
        for (qsizetype i = 1; own && i + 1 < text.size(); ++i)
            own = !isDirectionControl(text.at(i));
        if (own) return text;
    }
    return isolated(withoutDirectionControls(text, controls));
}

} // namespace quorilanth
