#pragma once

// A connection to a PostgreSQL server that holds shared picture databases,
// through Qt's QPSQL driver. No password ever passes through here: libpq finds
// it in ~/.pgpass or in the service file, as it does for every other client.

#include <QSqlDatabase>
#include <QString>

namespace store {

struct ServerSettings {
    // A name in pg_service.conf. When set, the fields below are not used: the
    // service file says where the server is.
    QString service;
    // Empty fields leave libpq its defaults (the local socket, 5432, the
    // user's own name). host may name a socket directory too.
    QString host;
    QString port;
    QString database;
    QString user;
    bool operator==(const ServerSettings&) const = default;
    // What the user calls the server: the service, else the host.
    QString displayName() const;
};

class ServerConnection {
public:
    // The server's answer to a connection test: its version, or its own error text.
    struct Answer {
        bool ok = false;
        QString text;
    };

    explicit ServerConnection(const ServerSettings& settings);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    static bool driverAvailable();

    // Connects, giving up after kConnectTimeoutSeconds; false with error() set.
    bool open();
    bool isOpen() const;
    QString error() const { return m_error; }
    QSqlDatabase database() const { return m_db; }

    // Connects when not yet connected and asks the server for its version.
    Answer test();

    static constexpr int kConnectTimeoutSeconds = 10;

private:
    ServerSettings m_settings;
    QString m_connection;
    QSqlDatabase m_db;
    QString m_error;
};

} // namespace store
