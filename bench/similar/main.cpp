// Near-duplicate pictures: fingerprints of a set of files and their groups,
// and the grouping alone on a million hashes.
//   quillon-bench-similar gen DIR FROM  the five JPEG wallpapers of FROM into DIR, each
//                                       with its half, quarter, quality-40 and 3 %-cropped copies
//   quillon-bench-similar run DIR       fingerprints every file of DIR on all cores, groups them
//                                       within 10 bits and prints one group a line (paths)
//   quillon-bench-similar pairs E       reads groups (one a line, paths separated by spaces) and
//                                       prints "found expected false" pairs by the files' families
//   quillon-bench-similar scale N RUNS  groups N random hashes with planted near ones; prints the
//                                       median time in ms, and fails when a planted pair is apart
// A file's family is its name up to the first '_'.

#include "viewing/PerceptualHash.h"
#include "viewing/SimilarGroups.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QSet>
#include <QTextStream>
#include <QtConcurrent>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

const QStringList kWallpapers = {QStringLiteral("2004default"), QStringLiteral("firstgeneration"),
                                 QStringLiteral("rhythm"), QStringLiteral("string"), QStringLiteral("the-mouse")};

int generate(const QString& dir, const QString& from)
{
    QDir().mkpath(dir);
    for (int w = 0; w < kWallpapers.size(); ++w) {
        const QString original = from + QLatin1Char('/') + kWallpapers[w] + QStringLiteral(".jpg");
        const QImage image(original);
        if (image.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(original));
            return 1;
        }
        const QSize s = image.size();
        const int cx = s.width() * 3 / 100, cy = s.height() * 3 / 100;
        // A different edge for each picture.
        const QRect crops[] = {QRect(cx, 0, s.width() - cx, s.height()), QRect(0, cy, s.width(), s.height() - cy),
                               QRect(0, 0, s.width() - cx, s.height()), QRect(0, 0, s.width(), s.height() - cy)};
        const QString family = dir + QStringLiteral("/w%1_").arg(w);
        if (!QFile::copy(original, family + QStringLiteral("original.jpg"))
            || !image.scaled(s / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(family + QStringLiteral("half.jpg"), "JPEG", 90)
            || !image.scaled(s / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(family + QStringLiteral("quarter.jpg"), "JPEG", 90)
            || !image.save(family + QStringLiteral("q40.jpg"), "JPEG", 40)
            || !image.copy(crops[w % 4]).save(family + QStringLiteral("crop.jpg"), "JPEG", 90)) {
            std::fprintf(stderr, "cannot write the copies of %s\n", qPrintable(original));
            return 1;
        }
    }
    return 0;
}

int run(const QString& dir)
{
    QStringList paths;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::Files, QDir::Name))
        paths << f.absoluteFilePath();
    const QList<quint64> hashes = QtConcurrent::blockingMapped(paths, [](const QString& path) {
        const auto f = viewing::fingerprintFile(path);
        if (!f)
            std::fprintf(stderr, "cannot fingerprint %s\n", qPrintable(path));
        return f ? f->hash : quint64(0);
    });
    for (const auto& group : viewing::nearGroups(std::vector<quint64>(hashes.begin(), hashes.end()), 10)) {
        QStringList names;
        for (qsizetype i : group)
            names << paths[i];
        std::printf("%s\n", qPrintable(names.join(QLatin1Char(' '))));
    }
    return 0;
}

int pairs(int expected)
{
    QTextStream in(stdin);
    int found = 0, wrong = 0;
    for (QString line; in.readLineInto(&line);) {
        const QStringList files = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < files.size(); ++i)
            for (int j = i + 1; j < files.size(); ++j) {
                const QString a = QFileInfo(files[i]).fileName(), b = QFileInfo(files[j]).fileName();
                if (a.section(QLatin1Char('_'), 0, 0) == b.section(QLatin1Char('_'), 0, 0))
                    ++found;
                else
                    ++wrong;
            }
    }
    std::printf("%d %d %d\n", found, expected, wrong);
    return 0;
}

int scale(int n, int runs)
{
    // A tenth planted: copies of earlier hashes with up to 10 bits flipped.
    QRandomGenerator random(22);
    std::vector<quint64> hashes;
    std::vector<std::pair<qsizetype, qsizetype>> planted;
    hashes.reserve(size_t(n));
    while (hashes.size() < size_t(n)) {
        if (hashes.size() > 1000 && random.bounded(10) == 0) {
            const qsizetype from = random.bounded(int(hashes.size()));
            quint64 h = hashes[size_t(from)];
            for (int flips = 1 + int(random.bounded(10)); flips > 0; --flips)
                h ^= quint64(1) << random.bounded(64);
            planted.emplace_back(from, qsizetype(hashes.size()));
            hashes.push_back(h);
        } else {
            hashes.push_back(random.generate64());
        }
    }
    // The processor time beside the wall time tells a loaded machine.
    std::vector<qint64> times, cpu;
    std::vector<std::vector<qsizetype>> groups;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        const std::clock_t start = std::clock();
        timer.start();
        groups = viewing::nearGroups(hashes, 10);
        times.push_back(timer.elapsed());
        cpu.push_back(qint64((std::clock() - start) * 1000 / CLOCKS_PER_SEC));
    }
    std::vector<qsizetype> groupOf(hashes.size(), -1);
    for (size_t g = 0; g < groups.size(); ++g)
        for (qsizetype i : groups[g])
            groupOf[size_t(i)] = qsizetype(g);
    const auto apart = std::count_if(planted.begin(), planted.end(), [&](const auto& p) {
        return groupOf[size_t(p.first)] < 0 || groupOf[size_t(p.first)] != groupOf[size_t(p.second)];
    });
    std::fprintf(stderr, "%zu planted pairs, %lld apart; %zu groups; runs (ms, processor ms on all cores):",
                 planted.size(), static_cast<long long>(apart), groups.size());
    for (size_t r = 0; r < times.size(); ++r)
        std::fprintf(stderr, " %lld (%lld)", static_cast<long long>(times[r]), static_cast<long long>(cpu[r]));
    std::fprintf(stderr, "\n");
    std::sort(times.begin(), times.end());
    std::printf("%lld %zu %lld\n", static_cast<long long>(times[times.size() / 2]), planted.size(),
                static_cast<long long>(apart));
    return apart == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("gen"))
        return generate(args[2], args[3]);
    if (args.size() == 3 && args[1] == QLatin1String("run"))
        return run(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("pairs"))
        return pairs(args[2].toInt());
    if (args.size() == 4 && args[1] == QLatin1String("scale"))
        return scale(qMax(2, args[2].toInt()), qMax(1, args[3].toInt()));
    std::fprintf(stderr, "usage: quillon-bench-similar gen DIR WALLPAPERS | run DIR | pairs EXPECTED | scale N RUNS\n");
    return 2;
}
