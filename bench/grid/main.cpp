// The multi-picture window filled with sixty 12-megapixel JPEG pictures from
// the image table of a store, into its sixty 100-pixel cells.
//   quillon-bench-grid gen DIR N        writes N distinct 4000 x 3000 JPEG files into DIR
//   quillon-bench-grid store DIR STORE  makes a store in the directory STORE whose image
//                                       table "Sample_" holds the files of DIR as blobs,
//                                       serials 1 to N in name order
//   quillon-bench-grid run STORE        reads the blobs serial by serial through a table
//                                       handle, as the fill from a search result does, and
//                                       fills the window's cells with them. Prints
//                                       "<ms> <peak resident MB> <cells filled>"

#include "common/Photos.h"
#include "store/FixedTables.h"
#include "store/Store.h"
#include "store/Table.h"
#include "viewing/FormMulti.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <cstdlib>

namespace {

const QString kImageTable = QStringLiteral("Sample_");

int makeStore(const QString& dir, const QString& storeDir)
{
    QDir().mkpath(storeDir);
    store::Store::createFile(storeDir + QLatin1Char('/') + store::Store::fileName());
    store::Store s(storeDir);
    s.createTable(kImageTable, store::imageTableFields(), store::imageTableIndexes());
    store::Table t(s, kImageTable);
    t.open();
    store::Batch batch(s);
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    qint32 serial = 0;
    for (const QFileInfo& file : files) {
        QFile f(file.absoluteFilePath());
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        t.insert();
        t.fieldByName(QStringLiteral("連番")).setAsInteger(++serial);
        t.fieldByName(QStringLiteral("画像")).setAsBytes(f.readAll());
        t.post();
    }
    batch.commit();
    return 0;
}


int run(const QString& storeDir)
{
    store::Store s(storeDir);
    viewing::TFormMulti window;
    window.show();
    QApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    store::Table t(s, kImageTable);
    t.open();
    QList<viewing::MultiCell> cells;
    for (qint32 serial = 1; serial <= viewing::kMultiCells; ++serial) {
        if (!t.findKey({serial}))
            break;
        cells.append({t.fieldByName(QStringLiteral("画像")).asBytes(), {}, QString::number(serial)});
    }
    QString error;
    const int filled = window.Fill(cells, true, &error);
    // Until the visible cells are painted.
    window.repaint();
    const qint64 ms = clock.elapsed();
    if (!error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(error));
    std::printf("%lld %.1f %d\n", static_cast<long long>(ms), bench::statusMb("VmHWM"), filled);
    return filled == viewing::kMultiCells ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    try {
        if (argc >= 4 && QByteArray(argv[1]) == "gen")
            return bench::writePhotos(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
        if (argc >= 4 && QByteArray(argv[1]) == "store")
            return makeStore(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        if (argc >= 3 && QByteArray(argv[1]) == "run")
            return run(QString::fromLocal8Bit(argv[2]));
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(stderr, "usage: %s gen DIR N | store DIR STORE | run STORE\n", argv[0]);
    return 2;
}
