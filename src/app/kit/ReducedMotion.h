#pragma once

#include <optional>
#include <string_view>

namespace quorilanth {

// Whether the window moves at all: false while the person asked the desktop
// for no animations. QL_REDUCE_MOTION overrides the desktop both ways ("0"
// allows motion, any other value stops it), so snapshots and tests do not
// depend on whose desktop they run on. Read at every use, so that a change
// of the setting counts from the next motion on.
bool reducedMotion();

// The desktop's own answer: GNOME's enable-animations of the interface
// schema, read through GSettings; nothing where that schema or key is not
// installed. The schema is a parameter only so that its absence can be tried.
std::optional<bool> desktopAnimations(std::string_view schema = "org.gnome.desktop.interface");

} // namespace quorilanth
