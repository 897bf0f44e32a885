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

// A photograph-like picture: smooth shading with fine grain, which JPEG
// codes to a size like a camera's at quality 90.
QByteArray makePicture()
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            line[x] = qRgb(qBound(0, x * 255 / 4000 + grain, 255), qBound(0, y * 255 / 3000 + grain, 255),
                           qBound(0, 128 + (x - y) / 64 + grain, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

int generate(const QString& dir, int count)
{
    QDir().mkpath(dir);
    const QByteArray picture = makePicture();
    for (int i = 0; i < count; ++i) {
        // A comment segment right after the start marker makes every file distinct.
        const QByteArray comment = QStringLiteral("picture %1").arg(i, 4, 10, QLatin1Char('0')).toLatin1();
        QByteArray bytes = picture.left(2);
        bytes += char(0xFF);
        bytes += char(0xFE);
        bytes += char((comment.size() + 2) >> 8);
        bytes += char((comment.size() + 2) & 0xFF);
        bytes += comment;
        bytes += picture.mid(2);
        QFile f(QStringLiteral("%1/photo%2.jpg").arg(dir).arg(i, 4, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
    }
    std::fprintf(stderr, "%d files of %lld bytes\n", count, static_cast<long long>(picture.size() + 13));
    return 0;
}

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

// Kilobytes of a "Vm...:" line of /proc/self/status, in MB.
double statusMb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
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
    std::printf("%lld %.1f %d\n", static_cast<long long>(ms), statusMb("VmHWM"), filled);
    return filled == viewing::kMultiCells ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    try {
        if (argc >= 4 && QByteArray(argv[1]) == "gen")
            return generate(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
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
