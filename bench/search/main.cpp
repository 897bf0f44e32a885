// Search benchmark.
//   quillon-bench-search fill DIR N   N records in the database Sample of the store in DIR
//                                     (its four user items filled, about one title in
//                                     ten holding 海 and one kind in four 夏)
//   quillon-bench-search sql          the worked example's statement, parameters written in
//   quillon-bench-search run DIR      the worked example's search on the store in DIR, as the
//                                     search page runs it: the statement opened and its hits
//                                     counted. Prints "<ms> <hits>"

#include "search/QueryBuilder.h"
#include "store/Query.h"
#include "store/Store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

search::SearchRequest workedExample()
{
    search::SearchRequest r;
    r.database = QStringLiteral("Sample");
    r.fieldLabels = {QStringLiteral("分類"), QStringLiteral("タイトル"), QStringLiteral("ファイル名"),
                     QStringLiteral("説明")};
    r.slotInputs[0] = {QStringLiteral("タイトル"), QStringLiteral("タイトル"), QStringLiteral("海")};
    r.slotInputs[2] = {QStringLiteral("分類"), QStringLiteral("分類"), QStringLiteral("夏")};
    r.orJoin = true;
    r.orderColumn = QStringLiteral("タイトル");
    r.ascending = false;
    return r;
}

int fill(const QString& dir, int count)
{
    store::Store s(dir);
    s.beginBatch();
    const QStringList kinds{QStringLiteral("夏"), QStringLiteral("春"), QStringLiteral("秋"), QStringLiteral("冬")};
    for (int i = 1; i <= count; ++i) {
        const QString title = (i % 10 == 0 ? QStringLiteral("青い海 %1") : QStringLiteral("山と空 %1")).arg(i);
        s.exec(QStringLiteral("INSERT INTO \"Sample\" (連番, 画像種別, サイズ, 更新日, 分類, タイトル, ファイル名, 説明) "
                              "VALUES (?, 'JPEG', ?, '2026-01-01', ?, ?, ?, ?)"),
               {i, 100000 + i, kinds[i % 4], title, QStringLiteral("/pictures/%1.jpg").arg(i),
                QStringLiteral("説明の文 %1").arg(i * 7)});
    }
    s.commitBatch();
    return 0;
}

int printSql()
{
    const search::SearchStatement st = search::buildSearch(workedExample());
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
    const search::SearchStatement st = search::buildSearch(workedExample());
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
