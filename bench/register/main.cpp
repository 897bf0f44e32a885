// Registration benchmark.
//   quillon-bench-register gen DIR N          writes N distinct 12-megapixel JPEG files
//                                             (4000 x 3000, about 3 MB each) into DIR
//   quillon-bench-register run TEMPLATE DIR   a fresh copy of the template store, the
//                                             files of DIR listed and marked, then
//                                             "登録(&I)" of the file list into the import-
//                                             mode database Sample, as a user starts it.
//                                             Prints "<ms> <longest stall ms> <records>
//                                             <ms until the program ended>"

#include "app/Application.h"
#include "common/Photos.h"
#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"

#include <QApplication>
#include <QBuffer>
#include <QTemporaryDir>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

struct Run {
    qint64 ms = 0;
    qint64 longestStallMs = 0;
    qint64 records = -1;
};

Run registerAll(const QString& templatePath, const QString& dir, QElapsedTimer& sinceClick)
{
    QTemporaryDir scratch;
    const QString photo = scratch.filePath(QStringLiteral("photo"));
    QDir().mkpath(photo);
    if (!QFile::copy(templatePath, photo + QLatin1Char('/') + store::Store::fileName()))
        return {};
    qputenv("QUILLON_PHOTO_DIR", photo.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toLocal8Bit());

    app::Application a;
    if (!a.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(a.errorMessage()));
        return {};
    }
    app::TFormMain& f = a.formMain();
    f.show();
    {
        store::Table& list = *f.dm3().TaList2;
        store::openIfClosed(list);
        store::Batch batch(list.store());
        const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
        for (const QFileInfo& file : files) {
            list.insert();
            list.fieldByName(QStringLiteral("フルパス名")).setAsString(file.absoluteFilePath());
            list.fieldByName(QStringLiteral("ファイル名")).setAsString(file.fileName());
            list.fieldByName(QStringLiteral("サイズ")).setAsInteger(qint32(file.size()));
            list.fieldByName(QStringLiteral("作成日")).setAsDateTime(file.lastModified());
            list.fieldByName(QStringLiteral("印")).setAsString(store::markText());
            list.post();
        }
        batch.commit();
        f.dm3().TaList->refresh();
    }

    // The gaps between the ticks of a 5 ms timer: the longest one is the
    // longest time the event loop was held up.
    QElapsedTimer gap;
    qint64 longest = 0;
    QTimer probe;
    QElapsedTimer clock;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
    probe.start();
    gap.start();
    clock.start();
    sinceClick.start();
    f.fileListTab()->Button51->click();
    const qint64 ms = clock.elapsed();
    longest = std::max(longest, gap.elapsed());
    probe.stop();
    const qint64 records = f.dm().store().countRows(QStringLiteral("Sample"));
    std::fprintf(stderr, "%s\n", qPrintable(f.stb(0)));
    f.close();
    return {ms, longest, records};
}

// Also until the program has ended and the store file holds everything, as
// the peer's time includes its own writing of the file.
int run(const QString& templatePath, const QString& dir)
{
    QElapsedTimer sinceClick;
    const Run r = registerAll(templatePath, dir, sinceClick);
    if (r.records < 0)
        return 1;
    std::printf("%lld %lld %lld %lld\n", static_cast<long long>(r.ms), static_cast<long long>(r.longestStallMs),
                static_cast<long long>(r.records), static_cast<long long>(sinceClick.elapsed()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    app::prepareProcessEnvironment();
    QApplication qapp(argc, argv);
    if (argc >= 4 && QByteArray(argv[1]) == "gen")
        return bench::writePhotos(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    if (argc >= 4 && QByteArray(argv[1]) == "run")
        return run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    std::fprintf(stderr, "usage: %s gen DIR N | run TEMPLATE DIR\n", argv[0]);
    return 2;
}
