#include "app/Application.h"

#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/FormVersion.h"
#include "base/Fonts.h"
#include "base/InstallLayout.h"
#include "disk/FormDirectory.h"
#include "disk/FormSelectDir.h"
#include "picturedb/FormDBList.h"
#include "picturedb/FormPassword.h"
#include "search/FormPopJouken.h"
#include "search/FormPopKensaku.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/FixedTables.h"
#include "store/Store.h"
#include "viewing/FormMulti.h"
#include "viewing/FormSetteiMulti.h"
#include "viewing/FormView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QSaveFile>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>
#include <unistd.h>

namespace app {

Application::Application() = default;

Application::~Application()
{
    // Windows go before the data modules, the data modules before the store.
    delete m_windows.FormVersion;
    delete m_windows.FormPopKensaku;
    delete m_windows.FormPopJouken;
    delete m_windows.FormDBList;
    delete m_windows.FormPassword;
    delete m_windows.FormSetteiMulti;
    delete m_windows.FormMulti;
    delete m_windows.FormDirectory;
    delete m_windows.FormSetting;
    delete m_windows.FormView;
    delete m_windows.FormSelectDir;
    m_formMain.reset();
    m_dm.reset();
    m_dm3.reset();
    m_serverStore.reset();
    m_store.reset();
}

bool Application::start()
{
    QApplication::setFont(base::interfaceFont());
    try {
        const QString storePath = store::Store::photoDirectory() + QLatin1Char('/') + store::Store::fileName();
        if (!QFile::exists(storePath))
            createStoreFromTemplate(storePath);
        // A store without its file holds no table at all: name the first one needed.
        if (!QFile::exists(storePath)) {
            throw store::StoreError(QStringLiteral("テーブル _List.db が見つかりません (%1 にストアがありません)")
                                        .arg(store::Store::photoDirectory()));
        }
        m_store = std::make_unique<store::Store>();
        m_dm3 = std::make_unique<store::DataMd3>(*m_store);
        openSharedDatabases();
        if (!m_dm)
            m_dm = std::make_unique<store::DataMod>(*m_store);
    } catch (const store::StoreError& e) {
        m_error = e.message();
        return false;
    }
    m_formMain = std::make_unique<TFormMain>(*m_dm3, *m_dm);
    m_formMain->showSharedDatabase(m_sharedNote);
    m_windows.FormSelectDir = new disk::TFormSelectDir();
    m_windows.FormView = new viewing::TFormView();
    m_windows.FormSetting = new TFormSetting(m_formMain.get());
    m_windows.FormDirectory = new disk::TFormDirectory();
    m_windows.FormDirectory->setViewWindow(m_windows.FormView);
    m_windows.FormMulti = new viewing::TFormMulti();
    m_windows.FormSetteiMulti = new viewing::TFormSetteiMulti();
    m_windows.FormMulti->setSettingsWindow(m_windows.FormSetteiMulti);
    m_windows.FormPassword = new picturedb::TFormPassword();
    m_windows.FormDBList = new picturedb::TFormDBList();
    m_windows.FormPopJouken = new search::TFormPopJouken();
    m_windows.FormPopKensaku = new search::TFormPopKensaku();
    m_windows.FormVersion = new TFormVersion();
    m_formMain->setWindows(&m_windows);
    if (m_store->checkDeferred())
        checkStoreInBackground();
    return true;
}

void Application::openSharedDatabases()
{
    bool useServer = false;
    const store::ServerSettings settings = TFormSetting::storedServerSettings(&useServer);
    if (!useServer)
        return;
    // Whatever goes wrong, the local store's databases open instead: the
    // program always starts, and the note says why it is not on the server.
    const QString local = QStringLiteral("。ローカルのデータベースを使います");
    try {
        auto server = std::make_unique<store::Store>(settings);
        if (!store::hasPictureTables(*server)) {
            m_sharedNote = QStringLiteral("共有DB : %1 は初期化されていません").arg(server->serverName()) + local;
            return;
        }
        m_dm = std::make_unique<store::DataMod>(*server);
        m_sharedNote = QStringLiteral("共有DB : ") + server->serverName();
        m_serverStore = std::move(server);
    } catch (const store::StoreError& e) {
        m_dm.reset();
        m_sharedNote = QStringLiteral("共有DB : ") + e.message() + local;
    }
}

void Application::checkStoreInBackground()
{
    const QString path = m_store->filePath();
    auto* watcher = new QFutureWatcher<QString>(m_formMain.get());
    QObject::connect(watcher, &QFutureWatcher<QString>::finished, watcher, [this, watcher, path] {
        watcher->deleteLater();
        const QString result = watcher->result();
        if (result == u"ok")
            return;
        // Going on would read or write a damaged file: stop as a damaged
        // store found at opening does.
        QMessageBox::critical(m_formMain.get(), QStringLiteral("Quillon"), store::Store::damagedMessage(path, result));
        QCoreApplication::exit(1);
    });
    watcher->setFuture(QtConcurrent::run(&store::Store::checkFile, path));
}

void Application::createStoreFromTemplate(const QString& storePath)
{
    const QString templatePath = base::dataFile(QStringLiteral("quillon-template.sqlite"));
    if (!QFile::exists(templatePath))
        return;
    const QFileInfo target(storePath);
    QString reason;
    if (!QDir().mkpath(target.absolutePath())) {
        reason = QStringLiteral("ディレクトリを作れません");
    } else {
        // Copied under a temporary name and renamed, so a kill never leaves
        // half a store that the next start would take for a whole one.
        QFile source(templatePath);
        QSaveFile copy(storePath);
        if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly))
            reason = source.isOpen() ? copy.errorString() : source.errorString();
        else if (copy.write(source.readAll()) != source.size() || !copy.commit())
            reason = copy.errorString();
    }
    if (!reason.isEmpty())
        throw store::StoreError(QStringLiteral("ストア %1 を作れません (%2)").arg(QDir::toNativeSeparators(storePath), reason));
}

void prepareProcessEnvironment()
{
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    store::useCheapLocalTimeZone();
}

namespace {

// "--check-start": start as usual, wait until the main window is on the
// screen, then say where everything was found and end. Lets a packager (and
// the install test) see that an installed copy really comes up.
int reportStart(Application& app)
{
    QWidget& main = app.formMain();
    QElapsedTimer waited;
    waited.start();
    while (!(main.windowHandle() && main.windowHandle()->isExposed()) && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const bool shown = main.windowHandle() && main.windowHandle()->isExposed();
    const auto line = [](const char* what, const QString& path) {
        std::printf("%s: %s%s\n", what, qPrintable(QDir::toNativeSeparators(path)),
                    QFileInfo::exists(path) ? "" : " (missing)");
    };
    line("store", store::Store::photoDirectory() + QLatin1Char('/') + store::Store::fileName());
    line("data", base::dataDirectory());
    line("help", base::helpFile());
    line("help viewer", base::helperProgram(QStringLiteral("Winhelp")));
    line("clip", base::dataFile(QStringLiteral("cool.avi")));
    if (shown)
        std::printf("shown: %s\n", qPrintable(main.windowTitle()));
    else
        std::printf("not shown after %lld ms\n", static_cast<long long>(waited.elapsed()));
    std::fflush(stdout);
    return shown ? 0 : 1;
}

} // namespace

int runApplication(int argc, char* argv[])
{
    prepareProcessEnvironment();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setOrganizationName(QStringLiteral("Tavro"));
    const bool checkStart = qapp.arguments().contains(QStringLiteral("--check-start"));
    Application app;
    if (!app.start()) {
        if (checkStart)
            std::fprintf(stderr, "%s\n", qPrintable(app.errorMessage()));
        else
            QMessageBox::critical(nullptr, QStringLiteral("Quillon"), app.errorMessage());
        return 1;
    }
    app.formMain().show();
    if (checkStart)
        return reportStart(app);
    return qapp.exec();
}

} // namespace app
