#include "core/net/HTTPTextDecoder.h"

#include "core/base/AsciiText.h"
#include "core/base/LossyUTF8.h"
#include "core/base/PatternSearch.h"
#include "core/base/UTF8.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>
#include <vector>

namespace quorilanth::HTTPTextDecoder {
namespace {

struct ByteOrderMark {
    std::string_view bytes;
    const char* converter;
};

using namespace std::string_view_literals;

const std::array<ByteOrderMark, 5> kByteOrderMarks{{
    {"\x00\x00\xFE\xFF"sv, "UTF-32BE"},
    {"\xFF\xFE\x00\x00"sv, "UTF-32LE"},
    {"\xEF\xBB\xBF"sv, "UTF-8"},
    {"\xFE\xFF"sv, "UTF-16BE"},
    {"\xFF\xFE"sv, "UTF-16LE"},
}};

constexpr std::string_view kCharsetPattern = R"((?:charset|encoding)\s*=\s*["']?([a-zA-Z0-9._-]+))";
constexpr std::string_view kXMLDeclarationPattern = R"(^\s*<\?xml[^>]*>)";
constexpr std::string_view kMetaPattern = R"(<meta\b[^>]*>)";
constexpr std::size_t kSniffBytes = 8192;
constexpr std::size_t kMaxConvertedBytes = 256u << 20;

struct ConverterCloser {
    void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};

// Decodes with the named ICU converter, refusing any invalid or unmapped byte.
std::optional<std::string> decodeStrictly(std::string_view bytes, const char* converterName) {
    if (std::string_view(converterName) == "UTF-8") {
        // The converter would only re-check what the validator does, at a
        // fraction of the speed, for the most common body of all.
        return utf8::isValid(bytes) ? std::optional<std::string>(bytes) : std::nullopt;
    }
    // ICU counts in 32-bit units; a body beyond this is left to the lossy pass.
    if (bytes.size() > kMaxConvertedBytes) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(converterName, &status));
    if (U_FAILURE(status) || !converter) {
        return std::nullopt;
    }
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    // Every charset ICU ships yields at most two UTF-16 units per byte; the
    // second pass only runs should one ever yield more.
    std::u16string units(bytes.size() * 2 + 2, u'\0');
    const auto convert = [&] {
        status = U_ZERO_ERROR;
        ucnv_resetToUnicode(converter.get());
        return ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(units.data()),
                             static_cast<int32_t>(units.size()), bytes.data(),
                             static_cast<int32_t>(bytes.size()), &status);
    };
    int32_t length = convert();
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        units.resize(static_cast<std::size_t>(length) + 1);
        length = convert();
    }
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(length) * 3, '\0');
    int32_t written = 0;
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(text.data(), static_cast<int32_t>(text.size()), &written,
                       reinterpret_cast<const UChar*>(units.data()), length, 0xFFFD, nullptr,
                       &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(written));
    return text;
}

// The ICU converter of a charset label, when the label is one the IANA
// registry (or MIME) knows; anything else counts as an unknown charset.
const char* converterFor(const std::string& label) {
    for (const char* standard : {"IANA", "MIME"}) {
        UErrorCode status = U_ZERO_ERROR;
        const char* name = ucnv_getCanonicalName(label.c_str(), standard, &status);
        if (U_SUCCESS(status) && name != nullptr && *name != '\0') {
            return name;
        }
    }
    return nullptr;
}

bool isWideUnicode(std::string_view converterName) noexcept {
    return converterName.starts_with("UTF-16") || converterName.starts_with("UTF-32") ||
           converterName.starts_with("UTF16") || converterName.starts_with("UTF32");
}

std::string firstCharset(std::string_view text) {
    const PatternSearch::Matches found = PatternSearch::captures(kCharsetPattern, text);
    return found.empty() || found.front().size() < 2 ? std::string() : found.front()[1];
}

// Charsets that the document itself declares near its start.
std::string declaredCharset(std::string_view body, const std::string& contentType) {
    std::string_view elementPattern;
    if (contentType.find("html") != std::string::npos) {
        elementPattern = kMetaPattern;
    } else if (contentType.find("xml") != std::string::npos) {
        elementPattern = kXMLDeclarationPattern;
    } else {
        return {};
    }
    const std::string sniffed = utf8::lossy(body.substr(0, kSniffBytes));
    for (const std::vector<std::string>& element :
         PatternSearch::captures(elementPattern, sniffed)) {
        if (std::string name = firstCharset(element.front()); !name.empty()) {
            return name;
        }
    }
    return {};
}

} // namespace

std::string decode(std::string_view body, std::string_view contentType) {
    for (const ByteOrderMark& mark : kByteOrderMarks) {
        if (body.starts_with(mark.bytes)) {
            if (std::optional<std::string> text =
                    decodeStrictly(body.substr(mark.bytes.size()), mark.converter)) {
                return *std::move(text);
            }
        }
    }
    const std::string type = asciiLowercase(contentType);
    if (type.find("json") != std::string::npos || type.find("event-stream") != std::string::npos) {
        return utf8::lossy(body);
    }
    std::string charset = firstCharset(contentType);
    const bool declaredByDocument = charset.empty();
    if (declaredByDocument) {
        charset = declaredCharset(body, type);
    }
    const char* converter = charset.empty() ? nullptr : converterFor(charset);
    // A declaration that was found by reading the bytes as ASCII cannot be
    // true when it names UTF-16 or UTF-32: those would have hidden it. Pages
    // that say so are ASCII-compatible, and believing them turns every pair of
    // bytes into one unrelated character.
    if (converter != nullptr && declaredByDocument && isWideUnicode(converter)) {
        converter = nullptr;
    }
    if (converter != nullptr) {
        if (std::optional<std::string> text = decodeStrictly(body, converter)) {
            return *std::move(text);
        }
    }
    if (utf8::isValid(body)) {
        return std::string(body);
    }
    if (std::optional<std::string> text = decodeStrictly(body, "windows-1252")) {
        return *std::move(text);
    }
    return utf8::lossy(body);
}

} // namespace quorilanth::HTTPTextDecoder
