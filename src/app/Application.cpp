#include "app/Application.h"

#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/FormVersion.h"
#include "disk/FormDirectory.h"
#include "disk/FormSelectDir.h"
#include "picturedb/FormDBList.h"
#include "picturedb/FormPassword.h"
#include "search/FormPopJouken.h"
#include "search/FormPopKensaku.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/Store.h"
#include "viewing/FormMulti.h"
#include "viewing/FormSetteiMulti.h"
#include "viewing/FormView.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
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
    m_store.reset();
}

bool Application::start()
{
    try {
        // A store without its file holds no table at all: name the first one needed.
        if (!QFile::exists(store::Store::photoDirectory() + QLatin1Char('/') + store::Store::fileName())) {
            throw store::StoreError(QStringLiteral("テーブル _List.db が見つかりません (%1 にストアがありません)")
                                        .arg(store::Store::photoDirectory()));
        }
        m_store = std::make_unique<store::Store>();
        m_dm3 = std::make_unique<store::DataMd3>(*m_store);
        m_dm = std::make_unique<store::DataMod>(*m_store);
    } catch (const store::StoreError& e) {
        m_error = e.message();
        return false;
    }
    m_formMain = std::make_unique<TFormMain>(*m_dm3, *m_dm);
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
    return true;
}

void prepareProcessEnvironment()
{
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    store::useCheapLocalTimeZone();
}

int runApplication(int argc, char* argv[])
{
    prepareProcessEnvironment();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setOrganizationName(QStringLiteral("Tavro"));
    Application app;
    if (!app.start()) {
        QMessageBox::critical(nullptr, QStringLiteral("Quillon"), app.errorMessage());
        return 1;
    }
    app.formMain().show();
    return qapp.exec();
}

} // namespace app
