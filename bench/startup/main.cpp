// Start-up benchmark helper.
//   quillon-bench-startup fill <photo dir> <rows>   puts <rows> rows into _List.db and _Link.db
//   quillon-bench-startup run <photo dir>           prints the milliseconds from entry to the shown main window
#include "app/Application.h"
#include "app/FormMain.h"
#include "store/Store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <cstdio>

// The rows are written by SQL in the store's own column formats: a million
// rows through the handles would take minutes.
static int fill(const QString& dir, int rows)
{
    store::Store s(dir);
    store::Batch batch(s);
    s.exec(QStringLiteral(
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
               "INSERT INTO \"_List.db\" (\"フルパス名\", \"ファイル名\", \"サイズ\", \"作成日\") "
               "SELECT printf('/pictures/d%d/p%d.jpg', i / 10, i), printf('p%d.jpg', i), 1000 + i, "
               "strftime('%Y-%m-%dT%H:%M:%S.000', '2024-01-01 12:00:00', printf('+%d seconds', i)) FROM n"),
           {rows});
    s.exec(QStringLiteral(
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
               "INSERT INTO \"_Link.db\" (\"No\", \"Host\", \"URL\", \"Link\", \"Mode\", \"Comment\") "
               "SELECT i, printf('h%d', i % 50), printf('http://h%d/page%d.html', i % 50, i), i % 3, 0, '----' FROM n"),
           {rows});
    batch.commit();
    return 0;
}

int main(int argc, char* argv[])
{
    QElapsedTimer clock;
    clock.start();
    if (argc >= 4 && qstrcmp(argv[1], "fill") == 0) {
        QCoreApplication core(argc, argv);
        return fill(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    }
    if (argc < 3 || qstrcmp(argv[1], "run") != 0) {
        std::fprintf(stderr, "usage: %s fill DIR ROWS | run DIR\n", argv[0]);
        return 2;
    }
    qputenv("QUILLON_PHOTO_DIR", argv[2]);
    app::prepareProcessEnvironment();
    QApplication qapp(argc, argv);
    app::Application a;
    if (!a.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(a.errorMessage()));
        return 1;
    }
    a.formMain().show();
    while (!a.formMain().windowHandle() || !a.formMain().windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QCoreApplication::processEvents();
    std::printf("%lld\n", static_cast<long long>(clock.elapsed()));
    return 0;
}
