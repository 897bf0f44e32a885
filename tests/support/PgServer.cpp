#include "PgServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>

#include <atomic>
#include <csignal>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

const QString kBinDir = QStringLiteral("/usr/lib/postgresql/15/bin");
const QString kDriver = QStringLiteral("QPSQL");
constexpr int kToolTimeoutMs = 120000;

QString tool(const QString& name)
{
    return kBinDir + QLatin1Char('/') + name;
}

// A port no one uses now. It names the socket file and seeds the server's
// shared memory keys, so servers of tests running side by side stay apart.
int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 54329;
}

} // namespace

PgServer::PgServer()
{
    for (const char* name : {"initdb", "pg_ctl", "postgres"}) {
        if (!QFileInfo(tool(QLatin1String(name))).isExecutable()) {
            m_unavailable =
                QStringLiteral("no PostgreSQL 15 server here (%1 is missing)").arg(tool(QLatin1String(name)));
            return;
        }
    }
    if (!QSqlDatabase::isDriverAvailable(kDriver)) {
        m_unavailable = QStringLiteral("Qt's QPSQL driver is missing");
        return;
    }
    start();
}

PgServer::~PgServer()
{
    stop();
}

QString PgServer::filePath(const QString& name) const
{
    return m_dir ? m_dir->filePath(name) : QString();
}

void PgServer::start()
{
    // The socket path must fit in sockaddr_un (107 bytes), and under root the
    // server's user must reach the directory, which TMPDIR may not allow.
    QString base = QDir::tempPath();
    if (geteuid() == 0 || base.size() > 60)
        base = QStringLiteral("/tmp");
    m_dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/quillon-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("no temporary directory under %1").arg(base);
        return;
    }
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) {
            m_error = QStringLiteral("no user nobody to run the server as");
            return;
        }
        if (chown(QFile::encodeName(m_dir->path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand %1 to nobody").arg(m_dir->path());
            return;
        }
        m_asUser = {QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                    QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups"),
                    QStringLiteral("--")};
    }
    const QString data = m_dir->filePath(QStringLiteral("data"));
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), user(), QStringLiteral("--auth=trust"),
              QStringLiteral("--no-locale"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync")},
             kToolTimeoutMs))
        return;
    m_port = freePort();
    if (!launch())
        return;
    QSqlDatabase admin = connect(QStringLiteral("postgres"));
    QSqlQuery q(admin);
    if (!admin.isOpen() || !q.exec(QStringLiteral("CREATE DATABASE %1").arg(database()))) {
        m_error = QStringLiteral("cannot make the database: %1%2")
                      .arg(admin.isOpen() ? q.lastError().text() : admin.lastError().text(), logTail());
        return;
    }
    q.finish();
    admin.close();
    m_running = true;
}

bool PgServer::launch()
{
    // The socket alone: no TCP port to collide with another test's server.
    const QString options =
        QStringLiteral("-k '%1' -p %2 -c listen_addresses='' -c fsync=off").arg(m_dir->path()).arg(m_port);
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-l"),
                m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("-t"),
                QStringLiteral("90"), QStringLiteral("-o"), options, QStringLiteral("start")},
               kToolTimeoutMs);
}

bool PgServer::halt()
{
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
                QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
                QStringLiteral("stop")},
               kToolTimeoutMs);
}

bool PgServer::resume()
{
    return launch();
}

bool PgServer::run(const QString& name, const QStringList& arguments, int timeoutMs)
{
    QStringList command = m_asUser;
    command << tool(name) << arguments;
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.takeFirst(), command);
    const bool finished = p.waitForFinished(timeoutMs);
    if (!finished)
        p.kill();
    if (finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    m_error = QStringLiteral("%1 failed%2: %3%4")
                  .arg(name, finished ? QString() : QStringLiteral(" (no end within %1 s)").arg(timeoutMs / 1000),
                       QString::fromLocal8Bit(p.readAll()), logTail());
    p.waitForFinished(5000);
    return false;
}

QString PgServer::logTail() const
{
    QFile log(m_dir->filePath(QStringLiteral("server.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = log.size();
    log.seek(qMax<qint64>(0, size - 2000));
    return QStringLiteral("\nserver log: ") + QString::fromLocal8Bit(log.readAll());
}

QSqlDatabase PgServer::connect(const QString& database)
{
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("pgserver-%1").arg(++counter);
    m_connections << name;
    QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
    db.setHostName(host());
    db.setPort(m_port);
    db.setDatabaseName(database.isEmpty() ? this->database() : database);
    db.setUserName(user());
    db.setConnectOptions(QStringLiteral("connect_timeout=30"));
    db.open();
    return db;
}

void PgServer::stop()
{
    for (const QString& name : std::as_const(m_connections)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    m_connections.clear();
    if (!m_dir || !m_dir->isValid())
        return;
    const QString data = m_dir->filePath(QStringLiteral("data"));
    QFile pidFile(data + QStringLiteral("/postmaster.pid"));
    if (!pidFile.exists())
        return;
    const bool stopped =
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), data, QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
             QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("stop")},
            90000);
    // A server that would not stop is not left behind.
    if (!stopped && pidFile.open(QIODevice::ReadOnly)) {
        const qint64 pid = pidFile.readLine().trimmed().toLongLong();
        if (pid > 1)
            ::kill(pid_t(pid), SIGKILL);
    }
}
