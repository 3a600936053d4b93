#pragma once

#include "core/model/NodeKind.h"

#include <QString>

namespace quorilanth {

// The name of a kind of observation on the schema screen and its canvas, in
// the language of the moment.
QString schemaKindTitle(NodeKind kind);

} // namespace quorilanth
