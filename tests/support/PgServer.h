#pragma once

// A real PostgreSQL 15 server for tests, in a temporary directory: initdb,
// then pg_ctl start listening on a Unix socket in that directory alone (no
// TCP), one database made for the tests, and pg_ctl stop in the destructor.
// The server refuses to run as root, so under root it runs as nobody. Every
// step has a generous time limit; none waits for ever.
//
//     std::unique_ptr<PgServer> server = std::make_unique<PgServer>();
//     QUILLON_REQUIRE_PG(*server);    // in initTestCase: skip or fail
//     QSqlDatabase db = server->connect();

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class PgServer {
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // Why no server can be had on this machine (its binaries or Qt's QPSQL
    // driver are missing); empty when one can.
    QString unavailable() const { return m_unavailable; }
    bool isRunning() const { return m_running; }
    // Why it did not start, with the end of the server's log.
    QString error() const { return m_error; }

    // The socket directory, which libpq takes as a host.
    QString host() const { return m_dir ? m_dir->path() : QString(); }
    int port() const { return m_port; }
    // A database made for the tests, and its owner (a superuser).
    QString database() const { return QStringLiteral("quillon"); }
    QString user() const { return QStringLiteral("quillon"); }
    // A file of the temporary directory (a service file, say).
    QString filePath(const QString& name) const;

    // A new connection under a name of its own, opened on database() unless
    // told otherwise; check isOpen(). Removed when the server stops.
    QSqlDatabase connect(const QString& database = {});

    // The server gone at once, as a crash or a lost network leaves it
    // (connections see it closed), and back again on the same data.
    bool halt();
    bool resume();

private:
    void start();
    bool launch();
    bool run(const QString& tool, const QStringList& arguments, int timeoutMs);
    QString logTail() const;
    void stop();

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_asUser; // the command that runs a tool as the server's user
    int m_port = 0;
    bool m_running = false;
    QString m_unavailable;
    QString m_error;
    QStringList m_connections;
};

// Skips the test when the machine has no server, fails it when the server
// would not start.
#define QUILLON_REQUIRE_PG(server)                                                                                    \
    do {                                                                                                               \
        if (!(server).unavailable().isEmpty())                                                                         \
            QSKIP(qPrintable((server).unavailable()));                                                                 \
        QVERIFY2((server).isRunning(), qPrintable((server).error()));                                                  \
    } while (false)
