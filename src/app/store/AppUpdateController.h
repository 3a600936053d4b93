#pragma once

namespace quorilanth {

// The application's update controller, owned by the store for the life of the
// process. Its checks, panel and banner arrive with the update views; until
// then it has nothing to schedule and every entry point is a harmless no-op.
class AppUpdateController {
public:
    AppUpdateController() = default;
    AppUpdateController(const AppUpdateController&) = delete;
    AppUpdateController& operator=(const AppUpdateController&) = delete;

    void start() {}
    void check(bool manual) { (void)manual; }
    void stop() {}
};

} // namespace quorilanth
