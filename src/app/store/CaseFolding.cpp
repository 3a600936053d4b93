#include "app/store/CaseFolding.h"

#include <cstring>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace quorilanth {

CaseFolding::CaseFolding() : locale_(std::make_unique<icu::Locale>(icu::Locale::getDefault())) {
    const char* language = locale_->getLanguage();
    for (const char* special : {"tr", "az", "lt"})
        if (std::strcmp(language, special) == 0) asciiAsEnglish_ = false;
}

CaseFolding::~CaseFolding() = default;

QString CaseFolding::fold(const QString& text) const {
    // A search folds every entry of a library of thousands on each keystroke,
    // and most of them are plain ASCII, whose folding needs no ICU.
    if (asciiAsEnglish_) {
        QString folded(text.size(), Qt::Uninitialized);
        const auto* from = reinterpret_cast<const char16_t*>(text.utf16());
        char16_t* to = reinterpret_cast<char16_t*>(folded.data());
        bool ascii = true;
        for (qsizetype i = 0; ascii && i < text.size(); ++i) {
            const char16_t c = from[i];
            ascii = c < 0x80;
            to[i] = c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
        }
        if (ascii) return folded;
    }
    icu::UnicodeString result(reinterpret_cast<const UChar*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
    result.toLower(*locale_);
    result.foldCase();
    return QString(reinterpret_cast<const QChar*>(result.getBuffer()), result.length());
}

} // namespace quorilanth
