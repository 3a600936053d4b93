#include "app/schema/SchemaCanvasSlot.h"

#include <utility>

namespace quorilanth {

void SchemaCanvasSlot::present(SchemaCanvasInput input) {
    const SchemaCanvasInput previous = std::exchange(input_, std::move(input));
    inputChanged(previous);
}

} // namespace quorilanth
