#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace quorilanth {

// A site's text may carry direction controls (overrides, embeddings,
// isolates, marks) that make a name read as something else, "\u202Egnp.exe"
// drawn as "exe.png". Technical views show each such control as its code point
// in angle brackets, where the exact name matters; plain-language views drop it.
enum class DirectionControls { shown, dropped };

// Whether a code unit is one of those controls.
bool isDirectionControl(QChar unit);

// The text with its direction controls shown or dropped.
QString withoutDirectionControls(const QString& text, DirectionControls controls);

// The text inside a first-strong isolate when it holds right-to-left letters
// or digits, so it reads in its own direction without reordering what stands
// beside it on the line; other text is returned as it is.
QString isolated(const QString& text);

// Both, as every view of remote text shows it. A text that already came out
// of here comes out again unchanged.
QString remoteText(const QString& text, DirectionControls controls);

// The host of an address that reads as a URL with one (percent-decoded, so an
// encoded control counts as one), else the address as written.
std::string hostOrAddress(std::string_view address);

// How a report or a saved scan names its site, as remote text: hostOrAddress
// of its domain.
QString siteName(std::string_view domain, DirectionControls controls);

} // namespace quorilanth
