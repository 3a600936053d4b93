#include "app/technical/RawText.h"

#include "core/base/JSONValue.h"
#include "core/report/ReportGenerator.h"

namespace quorilanth {
namespace {

void appendHeaders(std::string& out, const HeaderFields& headers) {
    // The map keeps its names in byte order, the order they are shown in.
    bool first = true;
    for (const auto& [name, value] : headers) {
        if (!first) out += '\n';
        first = false;
        out.append(name).append(": ").append(value);
    }
}

std::string statusNumber(const Evidence& exchange) {
    return std::to_string(exchange.statusCode.value_or(0));
}

} // namespace

RawPane rawPane(const QString& name) {
    if (name == QLatin1String("Request")) return RawPane::request;
    if (name == QLatin1String("Headers")) return RawPane::headers;
    return RawPane::response;
}

QString rawPaneName(RawPane pane) {
    switch (pane) {
    case RawPane::request:
        return QStringLiteral("Request");
    case RawPane::headers:
        return QStringLiteral("Headers");
    case RawPane::response:
        break;
    }
    return QStringLiteral("Response");
}

std::string rawText(const Evidence* exchange, RawPane pane) {
    if (!exchange) return "Select an HTTP exchange.";
    const Evidence& e = *exchange;
    std::string out;
    switch (pane) {
    case RawPane::request:
        out.append(e.method).append(" ").append(e.url).append("\n\n");
        appendHeaders(out, e.requestHeaders);
        out.append("\n\n").append(e.requestBody.value_or(""));
        return out;
    case RawPane::headers:
        out.append(iso8601(e.timestamp)).append("\n");
        out.append(std::to_string(ReportGenerator::wholeMilliseconds(e.durationMS)))
            .append(" ms\n");
        out.append("Remote IP: ").append(e.remoteIP.value_or("unknown")).append("\n");
        out.append("TLS verified: ").append(e.tlsVerified ? "true" : "false").append("\n\n");
        appendHeaders(out, e.responseHeaders);
        out.append("\n\n").append(e.error.value_or(""));
        return out;
    case RawPane::response:
        break;
    }
    out.append("HTTP ").append(statusNumber(e)).append(" \u00B7 ").append(e.contentType());
    out.append("\n").append(e.error.value_or("")).append("\n\n");
    try {
        out += JSONValue::parse(e.responseBody.view()).pretty();
    } catch (const JSONParseError&) {
        out += e.responseBody.view();
    }
    return out;
}

} // namespace quorilanth
