#include "support/AppFixture.h"

#include "app/Application.h"
#include "app/FormMain.h"
#include "store/DataMod.h"
#include "store/Store.h"
#include "support/TestBackend.h"
#include "viewing/Thumbnails.h"
#include "support/TestClocks.h"

#include <QTest>

AppFixture::AppFixture()
{
    // The desktop's thumbnails stay the user's: the program's go here.
    viewing::setThumbnailRoot(m_settings.dir() + QStringLiteral("/thumbnails"));
    // Picture databases on a test server when the run asks for it.
    testbackend::useServerInSettings();
}

AppFixture::~AppFixture()
{
    m_app.reset();
}

app::TFormMain& AppFixture::start()
{
    app::prepareProcessEnvironment();
    m_app = std::make_unique<app::Application>();
    if (!m_app->start())
        qFatal("start-up failed: %s", qPrintable(m_app->errorMessage()));
    // A run on the server must not pass on the local store unnoticed.
    if (testbackend::onServer() && !m_app->formMain().dm().store().isServer())
        qFatal("the picture databases are not on the test server");
    useTestClocks(m_app->formMain());
    m_app->formMain().show();
    if (!QTest::qWaitForWindowExposed(&m_app->formMain()))
        qWarning("main window not exposed");
    return m_app->formMain();
}

app::TFormMain& AppFixture::restart()
{
    stop();
    return start();
}

void AppFixture::stop()
{
    if (m_app)
        m_app->formMain().close();
    m_app.reset();
}

app::TFormMain& AppFixture::form()
{
    return m_app->formMain();
}

app::Windows& AppFixture::windows()
{
    return m_app->windows();
}
