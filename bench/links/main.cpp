// Link extraction benchmark.
//   quillon-bench-links gen FILE MB     writes a deterministic page of MB million
//                                       bytes holding 10,000 tags per MB
//   quillon-bench-links run FILE [N]    runs ExtractLinks over FILE N times
//                                       (default 5) and prints the best:
//                                       "<seconds> <MB/s> <links found>"

#include "web/TextUtils.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qsizetype kMB = 1000000;
constexpr qsizetype kTagsPerMB = 10000;

// A small fixed generator, so the page is the same on every machine.
struct Lcg {
    quint64 state;
    quint32 next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(state >> 33);
    }
};

QByteArray makeTag(Lcg& rng)
{
    const QByteArray n = QByteArray::number(rng.next() % 100000);
    switch (rng.next() % 10) {
    case 0:
    case 1:
        return "<a href=\"/section" + n + "/page" + n + ".html\" class=\"nav\">";
    case 2:
        return "<A HREF=\"http://host" + QByteArray::number(rng.next() % 50) + ".example/dir/\">";
    case 3:
    case 4:
        return "<img src=\"/images/photo" + n + ".jpg\" alt=\"photo " + n + "\" width=120>";
    case 5:
        return "<a href=pictures/big" + n + ".JPG><img src=thumbs/t" + n + ".gif>";
    case 6:
        return "<script src=\"/js/app" + n + ".js\">";
    case 7:
        return "<div id=\"d" + n + "\" style=\"margin:0\">";
    case 8:
        return "</div>";
    default:
        return "<p>";
    }
}

// Text between tags: words, some multi-byte, line breaks now and then.
void addText(Lcg& rng, QByteArray& page, qsizetype upTo)
{
    static const char* const kWords[] = {"lorem ", "ipsum ", "写真 ", "説明文 ", "dolor ", "sit ", "amet, ",
                                         "picture ", "gallery ", "\n", "= ", "quoted \"text\" "};
    while (page.size() < upTo) {
        const QByteArray word(kWords[rng.next() % (sizeof kWords / sizeof *kWords)]);
        page += word.left(upTo - page.size());
    }
}

int generate(const char* path, int megabytes)
{
    const qsizetype size = qsizetype(megabytes) * kMB;
    const qsizetype tags = qsizetype(megabytes) * kTagsPerMB;
    Lcg rng{20240601};
    QByteArray page;
    page.reserve(size + 256);
    for (qsizetype i = 0; i < tags; ++i) {
        page += makeTag(rng);
        addText(rng, page, (i + 1) * size / tags);
    }
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    return 0;
}

int run(const char* path, int repetitions)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    const QByteArray page = file.readAll();
    web::PictureTypes types;
    types.gif = true;
    qint64 best = -1;
    qsizetype links = 0;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QList<web::FoundLink> found = web::ExtractLinks(page, types);
        const qint64 ns = timer.nsecsElapsed();
        links = found.size();
        if (best < 0 || ns < best)
            best = ns;
    }
    const double seconds = double(best) / 1e9;
    std::printf("%.6f %.1f %lld\n", seconds, double(page.size()) / kMB / seconds, static_cast<long long>(links));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && QByteArray(argv[1]) == "gen")
        return generate(argv[2], std::atoi(argv[3]));
    if (argc >= 3 && QByteArray(argv[1]) == "run")
        return run(argv[2], argc >= 4 ? std::max(1, std::atoi(argv[3])) : 5);
    std::fprintf(stderr, "usage: quillon-bench-links gen FILE MB | run FILE [N]\n");
    return 2;
}
