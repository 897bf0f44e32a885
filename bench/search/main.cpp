// Search benchmark.
//   quillon-bench-search fill DIR N   N records in the database Sample of the store in DIR
//                                     (its four user items filled as common/SearchData.h
//                                     says: one title in ten holding 海, one kind in four 夏)
//   quillon-bench-search sql          the worked example's statement, parameters written in
//   quillon-bench-search run DIR      the worked example's search on the store in DIR, as the
//                                     search page runs it: the statement opened and its hits
//                                     counted. Prints "<ms> <hits>"

#include "common/SearchData.h"
#include "search/QueryBuilder.h"
#include "store/Query.h"
#include "store/Store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

int fill(const QString& dir, int count)
{
    store::Store s(dir);
    bench::fillLocal(s, count);
    return 0;
}

int printSql()
{
    const search::SearchStatement st = search::buildSearch(bench::workedExample());
    QString sql = st.sql;
    for (const auto& [name, value] : st.params)
        sql.replace(QLatin1Char(':') + name + QLatin1Char(' '), QLatin1Char('\'') + value + QStringLiteral("' "));
    std::printf("%s;\n", sql.toUtf8().constData());
    return 0;
}

int run(const QString& dir)
{
    store::Store s(dir);
    store::Query q(s);
    const search::SearchStatement st = search::buildSearch(bench::workedExample());
    QElapsedTimer clock;
    clock.start();
    q.setSql(st.sql);
    for (const auto& [name, value] : st.params)
        q.setParam(name, value);
    q.open();
    int hits = 0;
    for (q.first(); !q.eof(); q.next())
        ++hits;
    q.first();
    std::printf("%lld %d\n", static_cast<long long>(clock.elapsed()), hits);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    try {
        if (a.size() == 4 && a[1] == u"fill")
            return fill(a[2], a[3].toInt());
        if (a.size() == 2 && a[1] == u"sql")
            return printSql();
        if (a.size() == 3 && a[1] == u"run")
            return run(a[2]);
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return 1;
    }
    std::fprintf(stderr, "usage: quillon-bench-search fill DIR N | sql | run DIR\n");
    return 2;
}
