#pragma once

// Start-up: the data modules over the table store, the main window, then every
// secondary window, hidden; then the event loop until the main window closes.

#include "app/Windows.h"

#include <QString>
#include <memory>

namespace store {
class Store;
class DataMd3;
class DataMod;
} // namespace store

namespace app {

class TFormMain;

class Application {
public:
    Application();
    ~Application();

    // Runs the start-up steps after the application object exists. On a store
    // failure (a missing fixed table, a store that cannot be created) returns
    // false with the message set.
    bool start();
    QString errorMessage() const { return m_error; }

    store::Store& store() { return *m_store; }
    store::DataMd3& dm3() { return *m_dm3; }
    store::DataMod& dm() { return *m_dm; }
    TFormMain& formMain() { return *m_formMain; }
    Windows& windows() { return m_windows; }

private:
    // The first start of an installed copy: the Photo directory has no store,
    // so the installed template with the fixed tables becomes it.
    static void createStoreFromTemplate(const QString& storePath);
    // A store too large to check at opening is checked while the program
    // runs; a damaged one then stops it with the message of the opening.
    void checkStoreInBackground();
    // With the server group's tick on: the picture data module on the
    // server's databases, or a note why the local ones are used.
    void openSharedDatabases();

    std::unique_ptr<store::Store> m_store;
    // The server's store of shared picture databases; none when local.
    std::unique_ptr<store::Store> m_serverStore;
    QString m_sharedNote;
    std::unique_ptr<store::DataMd3> m_dm3;
    std::unique_ptr<store::DataMod> m_dm;
    std::unique_ptr<TFormMain> m_formMain;
    Windows m_windows;
    QString m_error;
};

// The process entry: main() only calls this.
int runApplication(int argc, char* argv[]);

// The environment the program sets for itself before the application object
// and any thread exist: the web engine's sandbox switch (Chromium refuses to
// run as root with it on) and the cheap local time zone of the store.
void prepareProcessEnvironment();

} // namespace app
