#include "core/base/UUID.h"

#include <uuid/uuid.h>

namespace quorilanth {

std::string newUUIDText() {
    uuid_t raw;
    uuid_generate_random(raw);
    char text[37];
    uuid_unparse_upper(raw, text);
    return std::string(text, 36);
}

} // namespace quorilanth
