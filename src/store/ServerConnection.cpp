#include "store/ServerConnection.h"

#include "store/TextToInt.h"

#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace store {

namespace {

const QString kDriver = QStringLiteral("QPSQL");

QString newConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("quillon-server-%1").arg(++counter);
}

// A value of a libpq connection string.
QString conninfoValue(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// The server's or libpq's own words, without the driver's preface.
QString serverText(const QSqlError& e)
{
    const QString text = e.databaseText().trimmed();
    return text.isEmpty() ? e.text().trimmed() : text;
}

} // namespace

QString ServerSettings::displayName() const
{
    if (!service.isEmpty())
        return service;
    const QString h = host.trimmed();
    return h.isEmpty() ? QStringLiteral("localhost") : h;
}

ServerConnection::ServerConnection(const ServerSettings& settings)
    : m_settings(settings)
    , m_connection(newConnectionName())
{
}

ServerConnection::~ServerConnection()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

bool ServerConnection::driverAvailable()
{
    return QSqlDatabase::isDriverAvailable(kDriver);
}

bool ServerConnection::isOpen() const
{
    return m_db.isValid() && m_db.isOpen();
}

bool ServerConnection::open()
{
    if (isOpen())
        return true;
    m_error.clear();
    if (!driverAvailable()) {
        m_error = QStringLiteral("PostgreSQL のドライバ (QPSQL) がありません");
        return false;
    }
    int port = -1;
    const QString portText = m_settings.port.trimmed();
    if (m_settings.service.isEmpty() && !portText.isEmpty()) {
        bool ok = false;
        port = toInteger(portText, &ok);
        if (!ok || port < 1 || port > 65535) {
            m_error = QStringLiteral("ポート番号が正しくありません : %1").arg(m_settings.port);
            return false;
        }
    }
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(kDriver, m_connection);
    // A server that never answers must not hold the caller for ever.
    QString options = QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds);
    if (!m_settings.service.isEmpty()) {
        options += QStringLiteral(" service=") + conninfoValue(m_settings.service);
    } else {
        m_db.setHostName(m_settings.host.trimmed());
        m_db.setPort(port);
        m_db.setDatabaseName(m_settings.database.trimmed());
        m_db.setUserName(m_settings.user.trimmed());
    }
    m_db.setConnectOptions(options);
    if (!m_db.open()) {
        m_error = serverText(m_db.lastError());
        return false;
    }
    return true;
}

ServerConnection::Answer ServerConnection::test()
{
    if (!open())
        return {false, m_error};
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SHOW server_version")) || !q.next())
        return {false, serverText(q.lastError())};
    return {true, q.value(0).toString()};
}

} // namespace store
