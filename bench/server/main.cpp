// Picture databases on a PostgreSQL server beside the local store, in one
// process that starts the server (in a temporary directory) and stops it at
// the end.
//   quillon-bench-server search DIR N ROUNDS
//       N records (common/SearchData.h) in Sample of the store in DIR (filled
//       there when it is empty) and in two server databases, one whose
//       character classes are C.UTF-8 and one of the plain C locale; then
//       ROUNDS rounds of searches as the search page runs them, server and
//       local store in turns, hits and their order checked equal. Prints the
//       server's plans, then per round and case "<case> <server ms> <local ms>
//       <hits>", cases worked (the worked example), selective-c (the selective
//       statement on the C database) and selective.
//   quillon-bench-server register TEMPLATE DIR ROUNDS
//       ROUNDS rounds of registering the files of DIR (common/Registering.h)
//       into a fresh server database and into a fresh local store, in turns,
//       each run's writes settled on disk before the next.
//       Prints per round "<server ms> <local ms> <server records> <local
//       records> <server stall ms> <local stall ms>".

#include "app/Application.h"
#include "common/Registering.h"
#include "common/SearchData.h"
#include "search/QueryBuilder.h"
#include "store/FixedTables.h"
#include "store/Query.h"
#include "store/Store.h"
#include "support/PgServer.h"
#include "support/TestBackend.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>

#include <unistd.h>
#include <cstdio>

namespace {

struct Searched {
    qint64 ms = 0;
    int hits = 0;
    QList<qint64> serials; // in the order found
};

// As the search page does it: the statement opened and its hits counted.
Searched searchOnce(store::Store& s, search::SearchRequest request)
{
    request.server = s.isServer();
    const search::SearchStatement st = search::buildSearch(request);
    store::Query q(s);
    Searched out;
    QElapsedTimer clock;
    clock.start();
    q.setSql(st.sql);
    for (const auto& [name, value] : st.params)
        q.setParam(name, value);
    q.open();
    for (q.first(); !q.eof(); q.next())
        ++out.hits;
    q.first();
    out.ms = clock.elapsed();
    for (int i = 0; i < q.recordCount(); ++i)
        out.serials << q.recordAt(i).value(0).toLongLong();
    return out;
}

// The server's plan for the statement, its lines joined, keywords written in
// (they are plain words of this benchmark).
QString plan(store::Store& s, search::SearchRequest request)
{
    request.server = true;
    const search::SearchStatement st = search::buildSearch(request);
    QString sql = st.sql;
    for (const auto& [name, value] : st.params)
        sql.replace(QLatin1Char(':') + name + QLatin1Char(' '), QLatin1Char('\'') + value + QStringLiteral("' "));
    QSqlQuery q(s.db());
    if (!q.exec(QStringLiteral("EXPLAIN (COSTS OFF) ") + sql))
        return q.lastError().text();
    QStringList lines;
    while (q.next())
        lines << q.value(0).toString().trimmed();
    return lines.join(QLatin1String(" | "));
}

void fillServer(store::Store& s, int count)
{
    QElapsedTimer clock;
    clock.start();
    bench::fillOnServer(s, count);
    // What autovacuum would do after a bulk load: the indexes' pending
    // entries merged, the statistics gathered.
    s.exec(QStringLiteral("VACUUM ANALYZE \"Sample\""));
    std::fprintf(stderr, "server database %s filled in %lld ms\n", qPrintable(s.serverName()),
                 static_cast<long long>(clock.elapsed()));
}

bool serverReady(PgServer& pg)
{
    if (!pg.unavailable().isEmpty() || !pg.isRunning()) {
        std::fprintf(stderr, "no server: %s%s\n", qPrintable(pg.unavailable()), qPrintable(pg.error()));
        return false;
    }
    return true;
}

int searchBench(const QString& dir, int count, int rounds)
{
    PgServer& pg = testbackend::server();
    if (!serverReady(pg))
        return 1;
    store::Store local(dir);
    if (local.countRows(QStringLiteral("Sample")) == 0) {
        QElapsedTimer clock;
        clock.start();
        bench::fillLocal(local, count);
        std::fprintf(stderr, "local store filled in %lld ms\n", static_cast<long long>(clock.elapsed()));
    }

    // The test server's own database has the C locale, whose character
    // classes know no Japanese letters; a second one classes them as Unicode
    // does.
    store::Store plainC(testbackend::freshDatabase());
    fillServer(plainC, count);
    const QString utf8Name = QStringLiteral("quillon_utf8");
    {
        QSqlDatabase admin = pg.connect(QStringLiteral("postgres"));
        QSqlQuery q(admin);
        if (!q.exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 LC_COLLATE 'C.UTF-8' LC_CTYPE 'C.UTF-8'")
                        .arg(utf8Name))) {
            std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
            return 1;
        }
        admin.close();
    }
    store::Store utf8({QString(), pg.host(), QString::number(pg.port()), utf8Name, pg.user()});
    store::createPictureTables(utf8);
    fillServer(utf8, count);

    struct Case {
        const char* name;
        store::Store* server;
        search::SearchRequest request;
    };
    const QList<Case> cases{{"worked", &utf8, bench::workedExample()},
                            {"selective-c", &plainC, bench::selectiveExample()},
                            {"selective", &utf8, bench::selectiveExample()}};
    for (const Case& c : cases)
        std::printf("plan %s (ctype %s): %s\n", c.name,
                    qPrintable(c.server->value(QStringLiteral("SELECT datctype FROM pg_database WHERE datname = "
                                                              "current_database()"))
                                   .toString()),
                    qPrintable(plan(*c.server, c.request)));
    // Caches warm: every statement once on each side first.
    for (const Case& c : cases) {
        searchOnce(*c.server, c.request);
        searchOnce(local, c.request);
    }
    for (int round = 0; round < rounds; ++round) {
        for (const Case& c : cases) {
            Searched server;
            Searched here;
            if (round % 2 == 0) {
                server = searchOnce(*c.server, c.request);
                here = searchOnce(local, c.request);
            } else {
                here = searchOnce(local, c.request);
                server = searchOnce(*c.server, c.request);
            }
            if (server.serials != here.serials) {
                std::fprintf(stderr, "%s: the server found %d records, the local store %d (or in another order)\n",
                             c.name, server.hits, here.hits);
                return 1;
            }
            std::printf("%s %lld %lld %d\n", c.name, static_cast<long long>(server.ms),
                        static_cast<long long>(here.ms), here.hits);
            std::fflush(stdout);
        }
    }
    return 0;
}

int registerBench(const QString& templatePath, const QString& dir, int rounds)
{
    if (!serverReady(testbackend::server()))
        return 1;
    for (int round = 0; round < rounds; ++round) {
        bench::Registration server;
        bench::Registration here;
        QElapsedTimer unused;
        // Each run leaves its writes on disk before the next starts, so that
        // neither run's time holds the other's write-back: the server's
        // buffers through a checkpoint, the system's through sync.
        const auto settle = [](const store::ServerSettings* settings) {
            if (settings)
                store::Store(*settings).exec(QStringLiteral("CHECKPOINT"));
            ::sync();
        };
        const auto onServer = [&] {
            const store::ServerSettings settings = testbackend::freshDatabase();
            server = bench::registerAll(templatePath, dir, unused, &settings);
            settle(&settings);
        };
        const auto locally = [&] {
            here = bench::registerAll(templatePath, dir, unused);
            settle(nullptr);
        };
        if (round % 2 == 0) {
            onServer();
            locally();
        } else {
            locally();
            onServer();
        }
        if (server.records < 0 || here.records < 0)
            return 1;
        std::printf("%lld %lld %lld %lld %lld %lld\n", static_cast<long long>(server.ms),
                    static_cast<long long>(here.ms), static_cast<long long>(server.records),
                    static_cast<long long>(here.records), static_cast<long long>(server.longestStallMs),
                    static_cast<long long>(here.longestStallMs));
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    app::prepareProcessEnvironment();
    QApplication qapp(argc, argv);
    const QStringList a = qapp.arguments();
    try {
        if (a.size() == 5 && a[1] == u"search")
            return searchBench(a[2], a[3].toInt(), a[4].toInt());
        if (a.size() == 5 && a[1] == u"register")
            return registerBench(a[2], a[3], a[4].toInt());
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(stderr, "usage: quillon-bench-server search DIR N ROUNDS | register TEMPLATE DIR ROUNDS\n");
    return 2;
}
