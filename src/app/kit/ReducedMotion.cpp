#include "app/kit/ReducedMotion.h"

#include <QByteArray>
#include <QtGlobal>
#include <memory>
#include <mutex>
#include <string>

// Qt's "signals" macro would rename a member in GIO's headers.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace quorilanth {
namespace {

constexpr const char* animationsKey = "enable-animations";

struct SettingsDeleter {
    void operator()(GSettings* settings) const { g_object_unref(settings); }
};

// Made once per schema and kept: a read is then a look into the backend's
// cache, cheap enough for every motion, and still follows later changes.
GSettings* settingsFor(std::string_view schema) {
    static std::mutex guard;
    static std::string madeFor;
    static std::unique_ptr<GSettings, SettingsDeleter> made;
    static bool looked = false;
    const std::lock_guard lock(guard);
    if (looked && madeFor == schema) return made.get();
    looked = true;
    madeFor = std::string(schema);
    made.reset();
    // A missing schema must not reach g_settings_new, which aborts the process.
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return nullptr;
    GSettingsSchema* found = g_settings_schema_source_lookup(source, madeFor.c_str(), TRUE);
    if (!found) return nullptr;
    if (g_settings_schema_has_key(found, animationsKey))
        made.reset(g_settings_new_full(found, nullptr, nullptr));
    g_settings_schema_unref(found);
    return made.get();
}

} // namespace

std::optional<bool> desktopAnimations(std::string_view schema) {
    GSettings* settings = settingsFor(schema);
    if (!settings) return std::nullopt;
    return g_settings_get_boolean(settings, animationsKey) != FALSE;
}

bool reducedMotion() {
    if (qEnvironmentVariableIsSet("QL_REDUCE_MOTION")) return qgetenv("QL_REDUCE_MOTION") != "0";
    return !desktopAnimations().value_or(true);
}

} // namespace quorilanth
