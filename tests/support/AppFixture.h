#pragma once

// The whole program started as at start-up, on a temporary Photo store and
// temporary settings. restart() closes the main window (which stores its
// values) and starts again on the same store and settings.

#include "support/TempPhoto.h"
#include "support/TempSettings.h"

#include <memory>

namespace app {
class Application;
class TFormMain;
struct Windows;
} // namespace app

class AppFixture {
public:
    AppFixture();
    ~AppFixture();

    app::TFormMain& start();
    app::TFormMain& restart();
    void stop();

    app::Application& application() { return *m_app; }
    app::TFormMain& form();
    app::Windows& windows();
    TempPhoto& photo() { return m_photo; }
    TempSettings& settings() { return m_settings; }

private:
    TempSettings m_settings;
    TempPhoto m_photo;
    std::unique_ptr<app::Application> m_app;
};
