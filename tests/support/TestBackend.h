#pragma once

// The back end that picture-database tests run on. By default the local
// store; with QUILLON_TEST_BACKEND=server a database of a PostgreSQL server
// that this process starts on first use and stops when the application
// object goes. The same test body runs on both (ctest runs each such test
// twice, the second time under the label "server").

#include "store/ServerConnection.h"

#include <memory>

namespace store {
class Store;
}

class PgServer;

namespace testbackend {

bool onServer();
// The process's server, started on first use (check with QUILLON_REQUIRE_PG).
PgServer& server();
// The server's test database emptied and given the picture tables, as the
// settings' "初期化" leaves it; its settings.
store::ServerSettings freshDatabase();
// On the server: a store on a fresh database. Locally: none, the caller
// keeps its local store.
std::unique_ptr<store::Store> pictureStore();
// A second store on the picture databases under test: the server's
// database last made fresh, or the local store in localDirectory.
std::unique_ptr<store::Store> reopen(const QString& localDirectory);
// Points the stored settings of the program (TempSettings) at a fresh
// server database; nothing locally.
void useServerInSettings();

} // namespace testbackend
