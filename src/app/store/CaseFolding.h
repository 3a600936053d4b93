#pragma once

#include <QString>
#include <memory>
#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Locale;
U_NAMESPACE_END

namespace quorilanth {

// Letter case put aside the way the user's language does it, for searches
// "without regard to case in the user's locale": in Turkish "I" is the capital
// of "ı" and "İ" that of "i", elsewhere "I" is that of "i". A text contains
// another, regardless of case, when its folded form contains the other's.
class CaseFolding {
public:
    // Takes the user's locale as it is now.
    CaseFolding();
    ~CaseFolding();
    CaseFolding(const CaseFolding&) = delete;
    CaseFolding& operator=(const CaseFolding&) = delete;

    QString fold(const QString& text) const;

private:
    std::unique_ptr<icu::Locale> locale_;
    // Whether plain ASCII text folds as in English: not so in the languages
    // whose "I" has a dotless lower case, nor in Lithuanian, which keeps dots.
    bool asciiAsEnglish_ = true;
};

} // namespace quorilanth
