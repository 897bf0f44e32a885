// Start-up benchmark helper.
//   quillon-bench-startup fill <photo dir> <rows>   puts <rows> rows into _List.db and _Link.db
//   quillon-bench-startup run <photo dir>           prints the milliseconds from entry to the shown main window
#include "app/Application.h"
#include "app/FormMain.h"
#include "store/Store.h"
#include "store/Table.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QWindow>
#include <cstdio>

static int fill(const QString& dir, int rows)
{
    store::Store s(dir);
    s.registerPassword(QStringLiteral("qzk4097"));
    store::Table list(s, QStringLiteral("_List.db"));
    store::Table link(s, QStringLiteral("_Link.db"));
    list.open();
    link.open();
    const QDateTime when(QDate(2024, 1, 1), QTime(12, 0));
    store::Batch batch(s);
    for (int i = 1; i <= rows; ++i) {
        list.insert();
        list.fieldByName(QStringLiteral("フルパス名")).setAsString(QStringLiteral("/pictures/d%1/p%2.jpg").arg(i / 10).arg(i));
        list.fieldByName(QStringLiteral("ファイル名")).setAsString(QStringLiteral("p%1.jpg").arg(i));
        list.fieldByName(QStringLiteral("サイズ")).setAsInteger(1000 + i);
        list.fieldByName(QStringLiteral("作成日")).setAsDateTime(when.addSecs(i));
        list.post();
        link.insert();
        link.fieldByName(QStringLiteral("No")).setAsInteger(i);
        link.fieldByName(QStringLiteral("Host")).setAsString(QStringLiteral("h%1").arg(i % 50));
        link.fieldByName(QStringLiteral("URL")).setAsString(QStringLiteral("http://h%1/page%2.html").arg(i % 50).arg(i));
        link.fieldByName(QStringLiteral("Link")).setAsInteger(i % 3);
        link.fieldByName(QStringLiteral("Mode")).setAsInteger(0);
        link.fieldByName(QStringLiteral("Comment")).setAsString(QStringLiteral("----"));
        link.post();
    }
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
