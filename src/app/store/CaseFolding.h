#pragma once

#include <QString>

namespace quorilanth {

// Letter case put aside the way the user's language does it, for searches
// "without regard to case in the user's locale": in Turkish "I" is the capital
// of "ı" and "İ" that of "i", elsewhere "I" is that of "i". A text contains
// another, regardless of case, when its folded form contains the other's.
class CaseFolding {
public:
    // Takes the user's locale as it is now.
    CaseFolding();
    QString fold(const QString& text) const;

private:
    QByteArray locale_;
};

} // namespace quorilanth
