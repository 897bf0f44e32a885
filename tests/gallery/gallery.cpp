// quillon-gallery OUTDIR HELPFILE: shows each window of the program with
// sample data and writes what the screen shows of it to OUTDIR/<name>.png.

#include "HelpDocument.h"
#include "HelpViewer.h"
#include "app/Application.h"
#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/FormVersion.h"
#include "app/Windows.h"
#include "controls/DBGrid.h"
#include "disk/FormDirectory.h"
#include "disk/FormSelectDir.h"
#include "picturedb/FormDBList.h"
#include "picturedb/FormPassword.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/Registration.h"
#include "search/FormPopJouken.h"
#include "search/FormPopKensaku.h"
#include "search/SearchPage.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/Table.h"
#include "support/AppFixture.h"
#include "support/PhotoData.h"
#include "viewing/FormMulti.h"
#include "viewing/FormSetteiMulti.h"
#include "viewing/FormView.h"
#include "viewing/PictureLoader.h"
#include "viewing/ViewWindow.h"
#include "web/ExplorationTables.h"

#include <QApplication>
#include <QListWidget>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <cstdio>

namespace {

QString g_out;
int g_failures = 0;

// What the screen shows of the window, after it has painted.
void shoot(QWidget* w, const QString& name)
{
    w->move(0, 0);  // all of it on the screen, also at scale 2
    w->show();
    w->raise();
    if (!QTest::qWaitForWindowExposed(w, 10000))
        std::fprintf(stderr, "gallery: %s was not exposed\n", qPrintable(name));
    QTest::qWait(400);
    const QPixmap shot = w->screen()->grabWindow(w->winId());
    const QString path = g_out + QLatin1Char('/') + name + QStringLiteral(".png");
    if (shot.isNull() || !shot.save(path)) {
        std::fprintf(stderr, "gallery: could not write %s\n", qPrintable(path));
        ++g_failures;
    } else {
        std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
    }
}

// A small landscape so that the pictures read as pictures.
void paintScene(const QString& path, QSize size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    const QColor skies[] = {QColor(110, 170, 230), QColor(240, 160, 90), QColor(60, 70, 140), QColor(150, 200, 220)};
    const QColor hills[] = {QColor(70, 140, 70), QColor(120, 110, 60), QColor(40, 90, 80), QColor(90, 150, 110)};
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, skies[seed % 4].darker(130));
    sky.setColorAt(1, skies[seed % 4].lighter(130));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 230, 120));
    const int r = size.height() / 8;
    p.drawEllipse(QPoint(size.width() * (2 + seed % 5) / 8, size.height() / 4), r, r);
    for (int layer = 0; layer < 2; ++layer) {
        QPainterPath hill;
        hill.moveTo(0, size.height());
        for (int x = 0; x <= size.width(); x += size.width() / 8)
            hill.lineTo(x, size.height() * (0.55 + 0.1 * layer) + ((x * (seed + 3) * 7 + layer * 50) % (size.height() / 5)));
        hill.lineTo(size.width(), size.height());
        p.setBrush(layer ? hills[seed % 4] : hills[(seed + 1) % 4].lighter(120));
        p.drawPath(hill);
    }
    p.end();
    image.save(path, "JPEG", 90);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication qapp(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillon-gallery OUTDIR HELPFILE\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);

    AppFixture fixture;
    QTemporaryDir pictures;
    const QStringList titles{"海辺の朝", "夕焼けの丘", "夜の山", "春の川", "湖", "雲の峰", "秋の野", "岬"};
    QStringList files;
    for (int i = 0; i < titles.size(); ++i) {
        const QString dir = pictures.filePath(i < 4 ? QStringLiteral("旅行/2026") : QStringLiteral("風景"));
        QDir().mkpath(dir);
        files << dir + QStringLiteral("/DSC%1.jpg").arg(1201 + i, 5, 10, QLatin1Char('0'));
        paintScene(files.last(), i % 3 ? QSize(640, 480) : QSize(1600, 1200), i);
    }

    app::TFormMain& f = fixture.start();
    app::Windows& w = fixture.windows();
    f.resize(f.size());

    // The tables of an exploration, the file list and a database with records.
    web::ExplorationTables& t = f.tables();
    t.SetStartHost(QStringLiteral("photo.example.jp"));
    qint32 distance = 0;
    t.EnterHost(QStringLiteral("gallery.example.jp"), distance);
    for (int i = 0; i < 6; ++i) {
        t.WriteLinkRecord(QStringLiteral("photo.example.jp"), QStringLiteral("http://photo.example.jp/album/%1.html").arg(i + 1), 1, i < 4 ? 3 : 0, web::WriteOp::Insert);
        t.WriteImageLinkRecord(QStringLiteral("photo.example.jp"), QStringLiteral("http://photo.example.jp/img/%1.jpg").arg(i + 1), i < 3 ? 3 : 0, web::WriteOp::Insert);
    }
    for (const QString& file : files)
        addFileRow(*f.dm3().TaList, file, files.indexOf(file) % 3 == 0);
    for (int i = 0; i < files.size(); ++i)
        picturedb::RegisterFile(f.photo().catalogue(), false, titles[i], {}, QDate(2026, 4, 1 + i), QFileInfo(files[i]).size(), files[i]);

    f.PageMain->setCurrentWidget(f.TabList);
    f.fileListTab()->DBGridList->selectRow(1);  // its picture in the preview
    const struct { QWidget* tab; const char* name; } mainTabs[] = {
        {f.TabWeb, "main-www"}, {f.TabHost, "main-host"}, {f.TabLink, "main-link"}, {f.TabLinkImage, "main-image"},
        {f.TabList, "main-filelist"}, {f.TabURL, "main-url"}, {f.TabHTTP, "main-http"}, {f.TabLog, "main-log"}};
    for (const auto& tab : mainTabs) {
        f.PageMain->setTabVisible(f.PageMain->indexOf(tab.tab), true);
        f.PageMain->setCurrentWidget(tab.tab);
        shoot(&f, QLatin1String(tab.name));
    }
    f.PageMain->setCurrentWidget(f.TabPhoto);
    f.PagePhoto->setCurrentWidget(f.TabKensaku);
    f.searchPage()->Button10->click();
    QTest::qWait(1000);
    const struct { QWidget* page; const char* name; } dbPages[] = {
        {f.TabToroku, "db-record"}, {f.TabKensaku, "db-search"}, {f.TabShinki, "db-new"}, {f.TabDBSettei, "db-settings"}};
    for (const auto& page : dbPages) {
        f.PagePhoto->setCurrentWidget(page.page);
        shoot(&f, QLatin1String(page.name));
    }

    const char* settingTabs[] = {"setting-www", "setting-hd", "setting-gazou", "setting-network"};
    for (int i = 0; i < 4; ++i) {
        w.FormSetting->PageControl1->setCurrentIndex(i);
        shoot(w.FormSetting, QLatin1String(settingTabs[i]));
    }
    w.FormSetting->hide();

    w.FormSelectDir->setDirectory(pictures.filePath(QStringLiteral("旅行/2026")));
    shoot(w.FormSelectDir, QStringLiteral("selectdir"));
    w.FormSelectDir->hide();
    w.FormDirectory->setDirectory(pictures.filePath(QStringLiteral("風景")));
    shoot(w.FormDirectory, QStringLiteral("directory"));
    w.FormDirectory->hide();
    if (auto picture = viewing::loadPicture(files[1]))
        viewing::ShowInViewWindow(viewing::ViewMode::Single, w.FormView, &f, *picture, files[1]);
    shoot(w.FormView, QStringLiteral("view"));
    w.FormView->hide();

    f.PagePhoto->setCurrentWidget(f.TabKensaku);
    f.BtTable->click();
    QTest::qWait(2000);
    shoot(w.FormMulti, QStringLiteral("multi"));
    w.FormMulti->hide();
    shoot(w.FormSetteiMulti, QStringLiteral("multi-settings"));
    w.FormSetteiMulti->hide();

    w.FormDBList->setCatalogue(f.dm().DtIndex);
    w.FormPopJouken->ListBox->addItems({QStringLiteral("分類"), QStringLiteral("タイトル"), QStringLiteral("ファイル名"),
                                        QStringLiteral("説明")});
    w.FormPopJouken->ListBox->setCurrentRow(1);
    const struct { QWidget* window; const char* name; } others[] = {
        {w.FormPassword, "password"}, {w.FormDBList, "dblist"}, {w.FormPopJouken, "popjouken"},
        {w.FormPopKensaku, "popkensaku"}, {w.FormVersion, "version"}};
    for (const auto& other : others) {
        shoot(other.window, QLatin1String(other.name));
        other.window->hide();
    }

    HelpDocument help;
    if (help.load(QString::fromLocal8Bit(argv[2]))) {
        HelpWindow viewer(help);
        viewer.showSection(0);
        shoot(&viewer, QStringLiteral("helpviewer"));
    } else {
        std::fprintf(stderr, "gallery: cannot read the help file %s\n", argv[2]);
        ++g_failures;
    }
    return g_failures ? 1 : 0;
}
