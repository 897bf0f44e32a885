#include "store/ServerConnection.h"
#include "support/PgServer.h"

#include <QFile>
#include <QTest>

using store::ServerConnection;
using store::ServerSettings;

class TestServerConnection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<PgServer>();
        QUILLON_REQUIRE_PG(*m_server);
        // libpq reads the service file named here at each connection.
        QFile services(m_server->filePath(QStringLiteral("pg_service.conf")));
        QVERIFY(services.open(QIODevice::WriteOnly));
        services.write(QStringLiteral("[shared]\nhost=%1\nport=%2\ndbname=%3\nuser=%4\n")
                           .arg(m_server->host())
                           .arg(m_server->port())
                           .arg(m_server->database(), m_server->user())
                           .toUtf8());
        services.close();
        qputenv("PGSERVICEFILE", QFile::encodeName(services.fileName()));
    }
    void cleanupTestCase()
    {
        qunsetenv("PGSERVICEFILE");
        m_server.reset();
    }

    void answersTheVersionOrTheServersOwnError_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("ok");
        // A success starts with the major version; an error names what was wrong.
        QTest::addColumn<QString>("expected");
        const QString port = QString::number(m_server->port());
        const QString wrongPort = QString::number(m_server->port() == 65000 ? 65001 : 65000);
        const QString db = m_server->database();
        const QString user = m_server->user();
        QTest::newRow("host, port, database and user") << "" << port << db << user << true << "15.";
        QTest::newRow("no server on the port") << "" << wrongPort << db << user << false << wrongPort;
        QTest::newRow("no such database") << "" << port << "nosuchdb" << user << false << "nosuchdb";
        QTest::newRow("port out of range") << "" << "70000" << db << user << false << "70000";
        // The service says everything; the fields beside it are not used.
        QTest::newRow("service") << "shared" << wrongPort << "nosuchdb" << "nosuchrole" << true << "15.";
        QTest::newRow("no such service") << "nosuchservice" << port << db << user << false << "nosuchservice";
    }
    void answersTheVersionOrTheServersOwnError()
    {
        QFETCH(QString, service);
        QFETCH(QString, port);
        QFETCH(QString, database);
        QFETCH(QString, user);
        QFETCH(bool, ok);
        QFETCH(QString, expected);
        ServerConnection connection({service, m_server->host(), port, database, user});
        const ServerConnection::Answer answer = connection.test();
        QVERIFY2(answer.ok == ok, qPrintable(answer.text));
        if (ok)
            QVERIFY2(answer.text.startsWith(expected), qPrintable(answer.text));
        else
            QVERIFY2(answer.text.contains(expected), qPrintable(answer.text));
        QCOMPARE(connection.isOpen(), ok);
    }

private:
    std::unique_ptr<PgServer> m_server;
};

QTEST_GUILESS_MAIN(TestServerConnection)
#include "tst_serverconnection.moc"
