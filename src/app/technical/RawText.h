#pragma once

#include "core/model/Evidence.h"

#include <QString>
#include <string>

namespace quorilanth {

// The three plain-text forms of one recorded exchange that the raw trace
// shows and copies.
enum class RawPane { request, response, headers };

// "Request" and "Headers" name their forms; any other name shows the response.
RawPane rawPane(const QString& name);
QString rawPaneName(RawPane pane);

// The text of an exchange in one form; without an exchange, the invitation to
// select one. Bodies are shown whole: a response that is JSON as a whole is
// pretty-printed, anything else exactly as recorded.
std::string rawText(const Evidence* exchange, RawPane pane);

} // namespace quorilanth
