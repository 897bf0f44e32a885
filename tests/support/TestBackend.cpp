#include "support/TestBackend.h"

#include "base/SettingsStore.h"
#include "store/FixedTables.h"
#include "store/Store.h"
#include "support/PgServer.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>

namespace testbackend {

namespace {

std::unique_ptr<PgServer>& instance()
{
    static std::unique_ptr<PgServer> server;
    return server;
}

store::ServerSettings& lastSettings()
{
    static store::ServerSettings settings;
    return settings;
}

} // namespace

bool onServer()
{
    return qEnvironmentVariable("QUILLON_TEST_BACKEND") == u"server";
}

PgServer& server()
{
    std::unique_ptr<PgServer>& s = instance();
    if (!s) {
        s = std::make_unique<PgServer>();
        // Stopped while the application object still exists.
        qAddPostRoutine([] { instance().reset(); });
    }
    return *s;
}

store::ServerSettings freshDatabase()
{
    PgServer& pg = server();
    if (!pg.isRunning())
        qFatal("no test server: %s%s", qPrintable(pg.unavailable()), qPrintable(pg.error()));
    {
        QSqlDatabase admin = pg.connect();
        QSqlQuery q(admin);
        if (!q.exec(QStringLiteral("SET client_min_messages TO warning")) || !q.exec(QStringLiteral("DROP SCHEMA public CASCADE")) || !q.exec(QStringLiteral("CREATE SCHEMA public")))
            qFatal("cannot empty the test database: %s", qPrintable(q.lastError().text()));
        admin.close();
    }
    const store::ServerSettings settings{QString(), pg.host(), QString::number(pg.port()), pg.database(), pg.user()};
    store::Store s(settings);
    store::createPictureTables(s);
    lastSettings() = settings;
    return settings;
}

std::unique_ptr<store::Store> pictureStore()
{
    if (!onServer())
        return nullptr;
    return std::make_unique<store::Store>(freshDatabase());
}

std::unique_ptr<store::Store> reopen(const QString& localDirectory)
{
    if (onServer())
        return std::make_unique<store::Store>(lastSettings());
    return std::make_unique<store::Store>(localDirectory);
}

void useServerInSettings()
{
    if (!onServer())
        return;
    const store::ServerSettings settings = freshDatabase();
    base::SettingsStore s;
    s.writeBool(base::SettingsStore::Setting, QStringLiteral("fmSetting.CheckServer"), true);
    s.writeString(base::SettingsStore::Setting, QStringLiteral("fmSetting.ServerHost"), settings.host);
    s.writeString(base::SettingsStore::Setting, QStringLiteral("fmSetting.ServerPort"), settings.port);
    s.writeString(base::SettingsStore::Setting, QStringLiteral("fmSetting.ServerDB"), settings.database);
    s.writeString(base::SettingsStore::Setting, QStringLiteral("fmSetting.ServerUser"), settings.user);
}

} // namespace testbackend
