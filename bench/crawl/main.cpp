// Crawl benchmark: a generated local site of 300 pages and 600 pictures,
// explored with six slots and saving to files. Prints the links handled per
// second and the longest stall of the event loop; then the same for a site
// whose pages each hold 2,000 links, and for a run in which one page of 5 MB
// is taken apart; and the pace of a crawl of two sites that each ask a
// Crawl-delay of 1 s.
//   quillon-bench-crawl <scratch dir> [wide]
#include "app/Application.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "support/HttpTestServer.h"
#include "web/ExplorationTables.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>

namespace {

struct Result {
    int handled = 0;
    double seconds = 0;
    qint64 longestStallMs = 0;
};

// Links to other hosts on every page of the wide site; with other hosts
// not followed they are recorded, each a row of its own, and never fetched.
constexpr int kForeignLinks = 1995;

// Page i links to pages 3i+1 to 3i+3 and holds two pictures; a wide page
// also links to kForeignLinks pages of 50 other hosts, to make 2,000. The
// pages form a tree, so that the work known runs ahead of the slots: on a
// chain, where each page tells of one new page, a slot often finds nothing
// to do, and then rests two ticks by the rules, which measures the site.
void buildSite(HttpTestServer& server, int pages, int bigPageBytes, bool wide)
{
    QByteArray picture(4000, 'p');
    for (int i = 0; i < pages; ++i) {
        QString body = QStringLiteral("<html><body><h1>page %1</h1>").arg(i);
        for (int k = 1; k <= 3; ++k)
            body += QStringLiteral("<a href=\"p%1.html\">next</a> ").arg((3 * i + k) % pages);
        body += QStringLiteral("<img src=\"img/%1a.jpg\"><img src=\"img/%1b.jpg\">").arg(i);
        for (int k = 0; wide && k < kForeignLinks; ++k)
            body += QStringLiteral("<li><a href=\"http://h%1.example.net/p%2/a%3.html\">article %3</a>\n")
                        .arg(k % 50)
                        .arg(i)
                        .arg(k);
        if (i == 0 && bigPageBytes > 0) {
            // Filler text and plain tags around the links, like a long real page.
            QString filler;
            int n = 0;
            while (filler.size() < bigPageBytes) {
                filler += QStringLiteral("<p class=\"t%1\">some text of the page, line %1</p>\n").arg(n);
                if (n % 50 == 0)
                    filler += QStringLiteral("<a href=\"extra%1.cgi\">x</a>").arg(n);
                ++n;
            }
            body += filler;
        }
        body += QStringLiteral("</body></html>");
        server.setPage(QStringLiteral("/p%1.html").arg(i), body);
        server.setBody(QStringLiteral("/img/%1a.jpg").arg(i), picture, "image/jpeg");
        server.setBody(QStringLiteral("/img/%1b.jpg").arg(i), picture, "image/jpeg");
    }
}

// Two sites of kPolitePages pages each, both asking a Crawl-delay of 1 s; the
// first page of one links to every other page.
constexpr int kPolitePages = 20;

void buildPoliteSites(HttpTestServer& a, HttpTestServer& b)
{
    QString links;
    for (HttpTestServer* site : {&a, &b}) {
        site->setPage(QStringLiteral("/robots.txt"), QStringLiteral("User-agent: *\nCrawl-delay: 1\n"), "text/plain");
        for (int i = 0; i < kPolitePages; ++i) {
            site->setPage(QStringLiteral("/q%1.html").arg(i), QStringLiteral("<p>page %1</p>").arg(i));
            if (site != &a || i > 0)
                links += QStringLiteral("<a href=\"%1\">x</a>").arg(site->url(QStringLiteral("/q%1.html").arg(i)));
        }
    }
    a.setPage(QStringLiteral("/q0.html"), links);
}

Result crawl(const QString& scratch, int pages, int bigPageBytes, bool wide = false, bool polite = false)
{
    const QString photo = scratch + QStringLiteral("/photo");
    const QString save = scratch + QStringLiteral("/save");
    QDir(photo).removeRecursively();
    QDir(save).removeRecursively();
    QDir().mkpath(photo);
    QDir().mkpath(save);
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/quillon-template.sqlite"),
                photo + QStringLiteral("/quillon-store.sqlite"));
    qputenv("QUILLON_PHOTO_DIR", photo.toLocal8Bit());

    HttpTestServer server, other;
    if (polite)
        buildPoliteSites(server, other);
    else
        buildSite(server, pages, bigPageBytes, wide);

    app::Application a;
    if (!a.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(a.errorMessage()));
        std::exit(1);
    }
    app::TFormMain& f = a.formMain();
    app::TFormSetting& s = *a.windows().FormSetting;
    f.show();
    s.ScrollSpeed->setValue(6);
    s.EditMaxURL->setText(QStringLiteral("1000000"));
    s.EditMaxImage->setText(QStringLiteral("100000"));
    s.EditDirectory->setText(save);
    s.CheckFileSave->setChecked(true);
    s.CheckGaibu->setChecked(!wide);
    f.ApplyTarget(true); // the first run stored WWW: a click would switch it off again
    f.ComboURL->setEditText(server.url(polite ? QStringLiteral("/q0.html") : QStringLiteral("/p0.html")));

    // The gaps between the ticks of a 5 ms timer: the longest one is the
    // longest time the event loop was held up.
    QElapsedTimer gap;
    qint64 longest = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.restart());
    });

    bool ended = false;
    QObject::connect(&f, &app::TFormMain::statusChanged, [&](int panel, const QString& text) {
        if (panel == 0 && text == QStringLiteral("探索終了"))
            ended = true;
    });
    QElapsedTimer clock;
    clock.start();
    gap.start();
    probe.start();
    f.BtTansaku->click();
    while (!ended && clock.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    probe.stop();

    Result r;
    r.seconds = clock.elapsed() / 1000.0;
    r.handled = server.requestCount() + other.requestCount();
    r.longestStallMs = longest;
    f.close();
    return r;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SCRATCH_DIR [wide]\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is known
    const QString scratch = QString::fromLocal8Bit(argv[1]);
    qputenv("XDG_CONFIG_HOME", (scratch + QStringLiteral("/config")).toLocal8Bit());
    app::prepareProcessEnvironment();
    QApplication qapp(argc, argv);

    if (argc > 2 && qstrcmp(argv[2], "wide") == 0) {
        // The wide site alone, for a profile of taking its pages apart.
        const Result wide = crawl(scratch, 300, 0, true);
        std::printf("%d links in %.1f s, longest stall %lld ms\n", wide.handled, wide.seconds,
                    static_cast<long long>(wide.longestStallMs));
        return 0;
    }
    const Result site = crawl(scratch, 300, 0);
    std::printf("site of 300 pages and 600 pictures: %d links in %.1f s, %.2f links/s, longest stall %lld ms\n",
                site.handled, site.seconds, site.handled / site.seconds, static_cast<long long>(site.longestStallMs));
    const Result wide = crawl(scratch, 300, 0, true);
    std::printf("site of 300 pages of 2,000 links each: %d links in %.1f s, %.2f links/s, longest stall %lld ms\n",
                wide.handled, wide.seconds, wide.handled / wide.seconds, static_cast<long long>(wide.longestStallMs));
    const Result big = crawl(scratch, 20, 5 * 1000 * 1000);
    std::printf("site of 20 pages with a 5 MB page: %d links in %.1f s, longest stall %lld ms\n", big.handled,
                big.seconds, static_cast<long long>(big.longestStallMs));
    const qint64 stall = std::max({site.longestStallMs, wide.longestStallMs, big.longestStallMs});
    std::printf("crawl-stall: ours %lld ms, bound 50 ms, ratio %.2f\n", static_cast<long long>(stall), stall / 50.0);
    // The slower of the two sites.
    const double rate = std::min(site.handled / site.seconds, wide.handled / wide.seconds);
    std::printf("crawl: ours %.2f links/s, tick-bound 10.00 links/s, ratio %.2f\n", rate, rate / 10.0);
    // Each site's first fetch may start at once, each later one a second
    // after the one before: the fastest run the delay allows.
    const Result polite = crawl(scratch, 0, 0, false, true);
    const double bound = 2.0 * kPolitePages / (kPolitePages - 1);
    std::printf("site of two hosts asking Crawl-delay 1 s: %d links in %.1f s\n", polite.handled, polite.seconds);
    std::printf("crawl-polite: ours %.2f links/s, interval-bound %.2f links/s, ratio %.2f\n",
                polite.handled / polite.seconds, bound, polite.handled / polite.seconds / bound);
    return 0;
}
