#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class QSettings;

namespace quorilanth {

// Typed reads of the settings file. The file is text: a boolean or a number
// written by this program comes back as its text form, and anything else may
// have been edited in by hand, so every reader accepts exactly the typed value
// and its text form and reports anything else as absent.
std::optional<QString> storedText(const QSettings& settings, const QString& key);
// A boolean, or the text "true" or "false".
std::optional<bool> storedBool(const QSettings& settings, const QString& key);
// An integer, or decimal digits with an optional sign that fit 64 bits.
std::optional<qint64> storedInteger(const QSettings& settings, const QString& key);
// A date and time, or its ISO 8601 text.
std::optional<QDateTime> storedDate(const QSettings& settings, const QString& key);

} // namespace quorilanth
