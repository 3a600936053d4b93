#include "app/store/CaseFolding.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace quorilanth {

CaseFolding::CaseFolding() : locale_(icu::Locale::getDefault().getName()) {}

QString CaseFolding::fold(const QString& text) const {
    icu::UnicodeString result(reinterpret_cast<const UChar*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
    result.toLower(icu::Locale(locale_.constData()));
    result.foldCase();
    return QString(reinterpret_cast<const QChar*>(result.getBuffer()), result.length());
}

} // namespace quorilanth
