// Disk scan benchmark.
//   quillon-bench-scan gen DIR                 writes a deterministic tree under DIR:
//                                             2,000 directories, 100,000 small files,
//                                             20,000 of them .jpg (some spelt .JPG)
//   quillon-bench-scan pictures DIR N         writes N small .jpg files under DIR, 100
//                                             to a directory, 100 directories to a parent
//   quillon-bench-scan run TEMPLATE DIR [N]    N times (default 3): a fresh copy of the
//                                             template store, then the whole scan of DIR
//                                             into its _List.db. Prints
//                                             "<best seconds> <longest stall ms> <rows>"

#include "disk/DiskScan.h"
#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kTopDirectories = 40;
constexpr int kSubdirectories = 49; // per top directory: 40 + 40 * 49 = 2,000 directories
constexpr int kFilesPerDirectory = 50;  // 100,000 files
constexpr int kPictureEvery = 5;        // 20,000 pictures

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

int generate(const QString& root)
{
    static const char* const kOthers[] = {"txt", "png", "gif", "jpeg", "htm", "bmp"};
    int files = 0, pictures = 0, directories = 0;
    auto fill = [&](const QString& dir, int seed) {
        if (!QDir().mkpath(dir))
            return false;
        ++directories;
        for (int f = 0; f < kFilesPerDirectory; ++f) {
            QString ext;
            if (f % kPictureEvery == 0) {
                ext = (f + seed) % 4 == 0 ? QStringLiteral("JPG") : QStringLiteral("jpg");
                ++pictures;
            } else {
                ext = QLatin1String(kOthers[(f + seed) % 6]);
            }
            const QByteArray bytes(1 + (f * 7 + seed) % 16, 'q');
            if (!writeFile(QStringLiteral("%1/file%2.%3").arg(dir).arg(f, 2, 10, QLatin1Char('0')).arg(ext), bytes))
                return false;
            ++files;
        }
        return true;
    };
    for (int t = 0; t < kTopDirectories; ++t) {
        const QString top = QStringLiteral("%1/top%2").arg(root).arg(t, 2, 10, QLatin1Char('0'));
        if (!fill(top, t))
            return 1;
        for (int s = 0; s < kSubdirectories; ++s)
            if (!fill(QStringLiteral("%1/sub%2").arg(top).arg(s, 2, 10, QLatin1Char('0')), t * 100 + s))
                return 1;
    }
    std::fprintf(stderr, "%d directories, %d files, %d pictures\n", directories, files, pictures);
    return 0;
}

int generatePictures(const QString& root, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString dir = QStringLiteral("%1/g%2/d%3").arg(root).arg(i / 10000).arg(i / 100 % 100);
        if (i % 100 == 0 && !QDir().mkpath(dir))
            return 1;
        if (!writeFile(QStringLiteral("%1/p%2.jpg").arg(dir).arg(i), QByteArray(1 + i % 16, 'q')))
            return 1;
    }
    return 0;
}

// Measures the longest time the event loop had to wait: between two turns,
// and from the start to the first and from the last to the end.
class BenchHost : public disk::ScanHost {
public:
    bool stopRequested() override { return false; }
    void setStatus(int, const QString& text) override { last = text; }
    void yield() override
    {
        lap();
        QCoreApplication::processEvents();
        sinceTurn.start();
    }
    void logError(const QString& line) override { std::fprintf(stderr, "%s\n", qPrintable(line)); }

    void lap() { longest = std::max(longest, sinceTurn.nsecsElapsed()); }

    QElapsedTimer sinceTurn;
    qint64 longest = 0;
    QString last;
};

int run(const QString& templatePath, const QString& tree, int repetitions)
{
    qint64 best = -1;
    qint64 stall = 0;
    qint64 rows = 0;
    for (int i = 0; i < repetitions; ++i) {
        QTemporaryDir photo;
        if (!photo.isValid() || !QFile::copy(templatePath, photo.filePath(store::Store::fileName()))) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(templatePath));
            return 1;
        }
        QFile::setPermissions(photo.filePath(store::Store::fileName()), QFile::ReadOwner | QFile::WriteOwner);
        store::Store st(photo.path());
        store::DataMd3 dm3(st);
        BenchHost host;
        disk::DiskScan scan(*dm3.TaList, host);

        QElapsedTimer timer;
        timer.start();
        host.sinceTurn.start();
        scan.RunDiskScan(tree, disk::ScanSettings());
        host.lap();
        const qint64 ns = timer.nsecsElapsed();

        rows = st.countRows(QStringLiteral("_List.db"));
        if (best < 0 || ns < best)
            best = ns;
        stall = std::max(stall, host.longest);
        std::fprintf(stderr, "run %d: %.3f s, longest stall %.1f ms, %lld rows, %s\n", i + 1, ns / 1e9,
                     host.longest / 1e6, static_cast<long long>(rows), qPrintable(host.last));
    }
    std::printf("%.6f %.3f %lld\n", best / 1e9, stall / 1e6, static_cast<long long>(rows));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    store::useCheapLocalTimeZone(); // as the program does at its start
    QCoreApplication app(argc, argv);
    try {
        if (argc >= 3 && QByteArray(argv[1]) == "gen")
            return generate(QString::fromLocal8Bit(argv[2]));
        if (argc >= 4 && QByteArray(argv[1]) == "pictures")
            return generatePictures(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
        if (argc >= 4 && QByteArray(argv[1]) == "run")
            return run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                       argc >= 5 ? std::max(1, std::atoi(argv[4])) : 3);
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(stderr, "usage: quillon-bench-scan gen DIR | pictures DIR N | run TEMPLATE DIR [N]\n");
    return 2;
}
