#include "app/store/StoredSettings.h"

#include "core/update/ApplicationBundle.h"

#include <QSettings>

namespace quorilanth {
namespace {

std::optional<QVariant> stored(const QSettings& settings, const QString& key) {
    if (!settings.contains(key)) return std::nullopt;
    return settings.value(key);
}

bool isText(const QVariant& value) {
    const int type = value.metaType().id();
    return type == QMetaType::QString || type == QMetaType::QByteArray;
}

} // namespace

std::optional<QString> storedText(const QSettings& settings, const QString& key) {
    const std::optional<QVariant> value = stored(settings, key);
    if (!value || !isText(*value)) return std::nullopt;
    return value->toString();
}

std::optional<bool> storedBool(const QSettings& settings, const QString& key) {
    const std::optional<QVariant> value = stored(settings, key);
    if (!value) return std::nullopt;
    if (value->metaType().id() == QMetaType::Bool) return value->toBool();
    if (!isText(*value)) return std::nullopt;
    const QString text = value->toString();
    if (text == QLatin1String("true")) return true;
    if (text == QLatin1String("false")) return false;
    return std::nullopt;
}

std::optional<qint64> storedInteger(const QSettings& settings, const QString& key) {
    const std::optional<QVariant> value = stored(settings, key);
    if (!value) return std::nullopt;
    switch (value->metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value->toLongLong();
    case QMetaType::ULongLong: {
        const qulonglong number = value->toULongLong();
        if (number > qulonglong(std::numeric_limits<qint64>::max())) return std::nullopt;
        return qint64(number);
    }
    default:
        break;
    }
    if (!isText(*value)) return std::nullopt;
    const std::optional<std::int64_t> number = parseBuildNumber(value->toString().toStdString());
    if (!number) return std::nullopt;
    return qint64(*number);
}

std::optional<QDateTime> storedDate(const QSettings& settings, const QString& key) {
    const std::optional<QVariant> value = stored(settings, key);
    if (!value) return std::nullopt;
    QDateTime date;
    if (value->metaType().id() == QMetaType::QDateTime)
        date = value->toDateTime();
    else if (isText(*value))
        date = QDateTime::fromString(value->toString(), Qt::ISODateWithMs);
    if (!date.isValid()) return std::nullopt;
    return date;
}

} // namespace quorilanth
