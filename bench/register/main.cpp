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
#include "common/Registering.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

namespace {

// Also until the program has ended and the store file holds everything, as
// the peer's time includes its own writing of the file.
int run(const QString& templatePath, const QString& dir)
{
    QElapsedTimer sinceClick;
    const bench::Registration r = bench::registerAll(templatePath, dir, sinceClick);
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
