#include "app/store/SavedScan.h"

#include "core/base/QuorilanthError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace quorilanth {
namespace {

// Seconds between the Unix epoch and 2001-01-01T00:00:00Z.
constexpr double referenceDateOffset = 978307200.0;

double secondsSinceReferenceDate(std::chrono::system_clock::time_point date) {
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(date.time_since_epoch()).count();
    return static_cast<double>(micros) / 1e6 - referenceDateOffset;
}

std::chrono::system_clock::time_point dateFromReferenceSeconds(double seconds) {
    const double unixSeconds = seconds + referenceDateOffset;
    // A hostile index could hold any number; a Date counts nanoseconds in 64 bits,
    // about 292 years either side of 1970.
    constexpr double limit = 9.0e9;
    if (!std::isfinite(unixSeconds) || std::fabs(unixSeconds) > limit)
        throw QuorilanthError("The data couldn't be read because a date is out of range.");
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::microseconds(std::llround(unixSeconds * 1e6))));
}

[[noreturn]] void fail(qsizetype index, const QString& detail) {
    throw QuorilanthError(QStringLiteral("The data couldn't be read because entry %1 %2.")
                              .arg(index)
                              .arg(detail)
                              .toStdString());
}

QJsonValue required(const QJsonObject& object, const char* key, qsizetype index) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) fail(index, QStringLiteral("has no \"%1\"").arg(QLatin1String(key)));
    if (value.isNull()) fail(index, QStringLiteral("has null for \"%1\"").arg(QLatin1String(key)));
    return value;
}

QString requiredString(const QJsonObject& object, const char* key, qsizetype index) {
    const QJsonValue value = required(object, key, index);
    if (!value.isString())
        fail(index, QStringLiteral("has a non-text \"%1\"").arg(QLatin1String(key)));
    return value.toString();
}

} // namespace

namespace {

// Strings as the platform's default encoder writes them: slashes escaped too.
void appendString(std::string& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void appendNumber(std::string& out, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace

// Written by hand: the index is rewritten on every change and can hold many
// thousands of entries.
QByteArray encodeLibraryIndex(const std::vector<SavedScan>& scans) {
    std::string out;
    out.reserve(scans.size() * 160 + 2);
    out += '[';
    for (std::size_t i = 0; i < scans.size(); ++i) {
        const SavedScan& scan = scans[i];
        if (i) out += ',';
        out += "{\"id\":";
        appendString(out, scan.id);
        out += ",\"domain\":";
        appendString(out, scan.domain);
        out += ",\"date\":";
        appendNumber(out, secondsSinceReferenceDate(scan.date));
        out += ",\"score\":";
        out += std::to_string(scan.score);
        out += ",\"favorite\":";
        out += scan.favorite ? "true" : "false";
        if (scan.collection) {
            out += ",\"collection\":";
            appendString(out, *scan.collection);
        }
        out += '}';
    }
    out += ']';
    return QByteArray::fromStdString(out);
}

std::vector<SavedScan> decodeLibraryIndex(const QByteArray& data) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw QuorilanthError("The data couldn't be read because it isn't valid JSON (" +
                              parseError.errorString().toStdString() + ").");
    if (!document.isArray())
        throw QuorilanthError("The data couldn't be read because it isn't in the correct format "
                              "(expected an array).");
    const QJsonArray array = document.array();
    std::vector<SavedScan> scans;
    scans.reserve(static_cast<std::size_t>(array.size()));
    for (qsizetype index = 0; index < array.size(); ++index) {
        if (!array.at(index).isObject()) fail(index, QStringLiteral("is not an object"));
        const QJsonObject object = array.at(index).toObject();
        SavedScan scan;
        scan.id = requiredString(object, "id", index);
        scan.domain = requiredString(object, "domain", index);
        const QJsonValue date = required(object, "date", index);
        if (!date.isDouble()) fail(index, QStringLiteral("has a non-numeric \"date\""));
        scan.date = dateFromReferenceSeconds(date.toDouble());
        const QJsonValue score = required(object, "score", index);
        // Exact: a report's score may be any 64-bit sum, and one read through a
        // double beyond 2^53 would refuse the whole library on the next start.
        // Two defaults tell a value that is no whole 64-bit number.
        const qint64 scoreNumber = score.toInteger(0);
        if (!score.isDouble() || scoreNumber != score.toInteger(1))
            fail(index, QStringLiteral("has a \"score\" that is not a whole number"));
        scan.score = scoreNumber;
        const QJsonValue favorite = required(object, "favorite", index);
        if (!favorite.isBool()) fail(index, QStringLiteral("has a non-boolean \"favorite\""));
        scan.favorite = favorite.toBool();
        const QJsonValue collection = object.value(QLatin1String("collection"));
        if (collection.isString())
            scan.collection = collection.toString();
        else if (!collection.isUndefined() && !collection.isNull())
            fail(index, QStringLiteral("has a non-text \"collection\""));
        scans.push_back(std::move(scan));
    }
    return scans;
}

// Read entry by entry in one pass, so that a cut, a stray byte or a garbled
// entry costs only the entries it touches. Each object at the top level of the
// array is parsed on its own. Where the start of an entry as the index writes
// it turns up out of place, whatever came before it is given up and reading
// goes on from there: in JSON that start can never lie inside a text (its
// quote would be escaped, or end the text and be followed by a letter).
std::map<QString, LibraryMarks> readLibraryMarks(const QByteArray& data) {
    static const QByteArray entryStart = QByteArrayLiteral("{\"id\":");
    std::map<QString, LibraryMarks> marks;
    const auto take = [&](qsizetype from, qsizetype to) {
        const QJsonDocument document = QJsonDocument::fromJson(data.sliced(from, to - from));
        const QJsonValue id = document.object().value(QLatin1String("id"));
        if (!id.isString()) return;
        const auto [kept, first] = marks.try_emplace(id.toString());
        if (!first) return;
        kept->second.favorite = document[QLatin1String("favorite")].toBool(false);
        const QJsonValue collection = document[QLatin1String("collection")];
        if (collection.isString()) kept->second.collection = collection.toString();
    };
    qsizetype depth = 0; // 1 inside the array, 2 inside an entry
    qsizetype entry = -1;
    bool inText = false, escaped = false;
    for (qsizetype at = 0; at < data.size(); ++at) {
        const char c = data[at];
        if (c == '{' && (inText || depth != 1) &&
            QByteArrayView(data).sliced(at).startsWith(entryStart)) {
            depth = 1;
            entry = -1;
            inText = escaped = false;
        }
        if (inText) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inText = false;
            continue;
        }
        switch (c) {
        case '"':
            inText = true;
            break;
        case '{':
        case '[':
            if (depth == 1 && c == '{') entry = at;
            ++depth;
            break;
        case '}':
        case ']':
            if (depth > 0) --depth;
            if (depth == 1 && entry >= 0) take(entry, at + 1);
            if (depth <= 1) entry = -1;
            break;
        default:
            break;
        }
    }
    return marks;
}

} // namespace quorilanth
