// Taking the next link from a long queue.
//   quillon-bench-scale queue DIR ROWS   puts ROWS handled rows (Mode 3) and then one
//                                        unhandled row into _Link.db and _LinkIMG.db
//   quillon-bench-scale next DIR         prints the median microseconds of finding the
//                                        next page link and the next picture link and
//                                        standing the tables' handles on them, as a
//                                        crawl's pick does

#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"
#include "web/ExplorationTables.h"
#include "web/RunLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class QuietLog : public web::RunLog {
public:
    void LogNormal(const QString&) override {}
    void LogError(const QString&) override {}
};

int queue(const QString& dir, int rows)
{
    store::Store s(dir);
    store::Batch batch(s);
    for (const char* table : {"_Link.db", "_LinkIMG.db"}) {
        const bool pages = QByteArray(table) == "_Link.db";
        s.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i <= ?) "
                              "INSERT INTO \"%1\" (\"No\", \"Host\", \"URL\", %2 \"Mode\", \"Comment\") "
                              "SELECT i, printf('h%d', i % 50), printf('http://h%d/%d.%3', i % 50, i), %4 "
                              "CASE WHEN i <= ? THEN 3 ELSE 0 END, CASE WHEN i <= ? THEN '終了' ELSE '----' END FROM n")
                   .arg(QLatin1String(table), pages ? QStringLiteral("\"Link\",") : QString(),
                        pages ? QStringLiteral("html") : QStringLiteral("jpg"), pages ? QStringLiteral("0,") : QString()),
               {rows, rows, rows});
    }
    batch.commit();
    return 0;
}

int next(const QString& dir)
{
    store::Store s(dir);
    s.registerPassword(QStringLiteral("qzk4097"));
    store::DataMd3 dm3(s);
    QuietLog log;
    web::ExplorationTables tables(dm3, log);
    store::Table& pages = *dm3.TaLink3;
    store::Table& pictures = *dm3.TaLinkImg3;
    pages.open();
    pictures.open();
    tables.NextImageLinkNumber(false); // a store without the queue's index gets it here, once
    std::vector<qint64> ns;
    for (int i = 0; i < 201; ++i) {
        QElapsedTimer t;
        t.start();
        const QVariant page = tables.NextPageLinkNumber(1, true, 1);
        const QVariant picture = tables.NextImageLinkNumber(false);
        if (page.isNull() || picture.isNull() || !pages.findKey({page}) || !pictures.findKey({picture})) {
            std::fprintf(stderr, "no next link\n");
            return 1;
        }
        ns.push_back(t.nsecsElapsed());
    }
    std::nth_element(ns.begin(), ns.begin() + 100, ns.end());
    std::printf("%.1f\n", ns[100] / 1000.0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    try {
        if (argc >= 4 && QByteArray(argv[1]) == "queue")
            return queue(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
        if (argc >= 3 && QByteArray(argv[1]) == "next")
            return next(QString::fromLocal8Bit(argv[2]));
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(stderr, "usage: quillon-bench-scale queue DIR ROWS | next DIR\n");
    return 2;
}
