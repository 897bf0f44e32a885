// The multi-picture window filled with sixty 12-megapixel JPEG pictures from
// the image table of a store, into its sixty 100-pixel cells.
//   quillon-bench-grid gen DIR N        writes N distinct 4000 x 3000 JPEG files into DIR
//   quillon-bench-grid store DIR STORE  makes a store in the directory STORE whose image
//                                       table "Sample_" holds the files of DIR as blobs,
//                                       serials 1 to N in name order
//   quillon-bench-grid run STORE        the first fill: with the store's kept thumbnails and
//                                       fingerprints dropped first, reads the blobs serial by
//                                       serial through a table handle, as the fill from a
//                                       search result does, fills the window's cells with
//                                       them, and keeps their thumbnails after the clock stops,
//                                       as the window does once it has painted. Prints
//                                       "<ms> <peak resident MB> <cells filled>"
//   quillon-bench-grid warm STORE       the same fill again after a run: the cells come from
//                                       the kept thumbnails. Prints the same

#include "common/Photos.h"
#include "store/Fingerprints.h"
#include "store/FixedTables.h"
#include "store/HeldThumbnails.h"
#include "store/Store.h"
#include "store/Table.h"
#include "viewing/FormMulti.h"
#include "viewing/HeldPreviews.h"
#include "viewing/Thumbnails.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const QString kDatabase = QStringLiteral("Sample");
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


int run(const QString& storeDir, bool warm)
{
    store::Store s(storeDir);
    if (!warm) {
        for (const QString& table : {store::HeldThumbnails::kTable, store::Fingerprints::kRecordTable}) {
            if (s.tableExists(table))
                s.deleteTable(table);
        }
    }
    viewing::TFormMulti window;
    window.show();
    QApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    // As the fill from a search result does it: a kept thumbnail where one
    // is valid, else the blob, decoded and leaving its thumbnail.
    auto held = std::make_shared<viewing::HeldPreviews>(s, kDatabase, kImageTable);
    const QSize box = window.cellPictureSize();
    const int sizeClass = viewing::ThumbnailCache::sizeClassFor(box);
    std::optional<store::Table> t;
    QList<viewing::MultiCell> cells;
    QList<store::PictureKey> keys;
    for (qint32 serial = 1; serial <= viewing::kMultiCells; ++serial) {
        viewing::MultiCell cell({}, {}, QString::number(serial));
        store::PictureKey key;
        if (std::optional<store::HeldThumbnail> thumb = held->find(serial, box, &key)) {
            cell.thumbnail = std::move(*thumb);
        } else {
            if (!t) {
                t.emplace(s, kImageTable);
                t->open();
            }
            if (!t->findKey({serial}))
                break;
            cell.bytes = t->fieldByName(QStringLiteral("画像")).asBytes();
            cell.thumbnailClass = sizeClass;
        }
        cells.append(cell);
        keys.append(key);
    }
    QString error;
    const int filled = window.Fill(cells, true, &error);
    // Until the visible cells are painted.
    window.repaint();
    const qint64 ms = clock.elapsed();
    if (!error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(error));
    for (const viewing::MadeThumbnail& made : window.takeMadeThumbnails())
        held->keep(qint32(made.cell + 1), sizeClass, keys[made.cell], made.thumbnail, cells[made.cell].bytes);
    for (int i = 0; i < filled; ++i) {
        if (!cells[i].thumbnail.encoded.isEmpty())
            held->used(qint32(i + 1), sizeClass);
    }
    QEventLoop committed;
    QObject::connect(viewing::HeldPreviews::commitLater(held, &window), &QFutureWatcherBase::finished, &committed,
                     &QEventLoop::quit, Qt::QueuedConnection);
    committed.exec();
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
        if (argc >= 3 && (QByteArray(argv[1]) == "run" || QByteArray(argv[1]) == "warm"))
            return run(QString::fromLocal8Bit(argv[2]), QByteArray(argv[1]) == "warm");
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(stderr, "usage: %s gen DIR N | store DIR STORE | run STORE | warm STORE\n", argv[0]);
    return 2;
}
