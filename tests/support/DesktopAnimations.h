#pragma once

// Qt's "signals" macro would rename a member in GIO's headers.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace quorilanth::test {

// Sets the desktop's animation key, as a person would in the desktop's
// settings; false when this machine has no such schema. Widget tests run on
// GSettings' memory backend, so the value stays inside the test process.
inline bool setDesktopAnimations(bool enabled) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE)
               : nullptr;
    if (!schema) return false;
    const bool known = g_settings_schema_has_key(schema, "enable-animations");
    if (known) {
        GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
        g_settings_set_boolean(settings, "enable-animations", enabled);
        g_settings_sync();
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return known;
}

} // namespace quorilanth::test
