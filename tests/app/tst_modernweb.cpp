// Crawls of pages as sites are written now, of Debian's libxslt documentation
// (a site no one here wrote), and of pictures whose names and Content-Types
// lie: the pictures a browser shows are saved, each with its kind's
// extension, and nothing else is.

#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "store/DataMd3.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "support/AppFixture.h"
#include "support/HttpTestServer.h"
#include "web/Crawler.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

namespace {

QByteArray encoded(QSize size, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray png(QSize size = {4, 3}) { return encoded(size, "PNG"); }
QByteArray jpeg() { return encoded({4, 3}, "JPEG"); }
// 1 x 1 pixel files as their tools write them.
const QByteArray kGif = QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001"
                                            "000002024401003b");
const QByteArray kWebp = QByteArray::fromBase64("UklGRhwAAABXRUJQVlA4TA8AAAAvAUAAAAcQ/Y/+ByKi/wEA");
const QByteArray kAvif = QByteArray::fromBase64(
    "AAAAIGZ0eXBhdmlmAAAAAGF2aWZtaWYxbWlhZk1BMUEAAADybWV0YQAAAAAAAAAoaGRscgAAAAAAAAAAcGljdAAAAAAAAAAAAAAAAGxpYmF2aWYA"
    "AAAADnBpdG0AAAAAAAEAAAAeaWxvYwAAAABEAAABAAEAAAABAAABGgAAAB8AAAAoaWluZgAAAAAAAQAAABppbmZlAgAAAAABAABhdjAxQ29sb3IA"
    "AAAAamlwcnAAAABLaXBjbwAAABRpc3BlAAAAAAAAAAIAAAACAAAAEHBpeGkAAAAAAwgICAAAAAxhdjFDgSAAAAAAABNjb2xybmNseAABAA0ABoAA"
    "AAAXaXBtYQAAAAAAAAABAAEEAQKDBAAAACdtZGF0EgAKBzgANhAQ0GkyEhZABhhhhAAAeUzcPVMfYxBeqA==");
// The same AVIF under the major brand of any HEIF still.
QByteArray avifOfAnotherBrand() { return QByteArray(kAvif).replace(8, 4, "mif1"); }

const QString kLibxsltHtml = QStringLiteral("/usr/share/doc/libxslt1-dev/html");

} // namespace

class TestModernWeb : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_save = std::make_unique<QTemporaryDir>();
        settings().EditDirectory->setText(m_save->path());
        settings().EditUchikiri->setText(QStringLiteral("3600"));
        settings().ScrollSpeed->setValue(6);
        settings().CheckGaibu->setChecked(false);
        settings().EditMaxURL->setText(QStringLiteral("100000"));
        settings().EditMaxImage->setText(QStringLiteral("100000"));
        // The pictures here are a few bytes: all of them are to be listed.
        settings().CheckSize->setChecked(false);
        form().crawler().setRecordSliceMs(-1);
        form().ToolBtWWW->click();
        connect(&form(), &app::TFormMain::statusChanged, this, [this](int panel, const QString& text) {
            m_ended = m_ended || (panel == 0 && text == QStringLiteral("探索終了"));
        });
    }
    void cleanup()
    {
        m_fixture.reset();
        m_save.reset();
    }

    // One picture address each; every type but GIF ticked, with markup.
    void theBytesDecide_data()
    {
        QTest::addColumn<QString>("src");     // as the page has it
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("type"); // Content-Type; empty: none sent
        QTest::addColumn<QString>("saved");   // the file kept; empty: none, the link at エラー
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("log");     // a line of the error log

        QTest::newRow("PNG named .jpg, called image/jpeg")
            << "x.jpg" << png() << QByteArray("image/jpeg") << "0001.png" << true << "";
        QTest::newRow("JPEG named .png, no Content-Type")
            << "y.png" << jpeg() << QByteArray() << "0001.jpg" << true << "";
        QTest::newRow("JPEG named .JPG keeps its name")
            << "z.JPG" << jpeg() << QByteArray("image/jpeg") << "0001.JPG" << true << "";
        QTest::newRow("WebP without extension, called text/html")
            << "/cdn/p" << kWebp << QByteArray("text/html") << "0001.webp" << true << "";
        QTest::newRow("AVIF at a query, no Content-Type")
            << "/img.php?id=3" << kAvif << QByteArray() << "0001.avif" << true << "";
        QTest::newRow("ISO file of another brand, called image/avif")
            << "/a?b=1" << avifOfAnotherBrand() << QByteArray("image/avif") << "0001.avif" << true << "";
        QTest::newRow("a wide PNG is kept, refused by the ratio test")
            << "wide.png" << png({300, 100}) << QByteArray("image/png") << "0001.png" << false << "比率チェック ";
        QTest::newRow("a page at a picture address, called image/jpeg")
            << "/photo/7" << QByteArray("<html>photo</html>") << QByteArray("image/jpeg") << "" << false
            << "画像ではありません (Content-Type: image/jpeg)";
        QTest::newRow("an error page as x.png")
            << "e.png" << QByteArray("<html>Not found</html>") << QByteArray("text/html") << "" << false
            << "画像ではありません (Content-Type: text/html)";
        QTest::newRow("text beginning BM, called text/plain")
            << "t.bmp" << QByteArray("BMW and others") << QByteArray("text/plain") << "" << false
            << "画像ではありません";
        QTest::newRow("a GIF, not ticked")
            << "/g" << kGif << QByteArray("image/gif") << "" << false << "対象外の画像です : GIF";
    }
    void theBytesDecide()
    {
        QFETCH(QString, src);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, type);
        QFETCH(QString, saved);
        QFETCH(bool, listed);
        QFETCH(QString, log);
        tick("jbpwam");
        HttpTestServer a;
        a.setPage("/i.html", QStringLiteral("<img src=\"%1\">").arg(src));
        const QString path = src.startsWith(QLatin1Char('/')) ? src : QLatin1Char('/') + src;
        a.setBody(path.section(QLatin1Char('?'), 0, 0), body, type);
        crawl(a.url("/i.html"));

        const QString address = a.url(path);
        QCOMPARE(pictureModes(), (QMap<QString, int>{{address, saved.isEmpty() ? 2 : 3}}));
        QCOMPARE(savedFiles(), saved.isEmpty() ? QStringList() : QStringList{saved});
        if (!saved.isEmpty())
            QCOMPARE(fileBytes(m_save->filePath(saved)), body);
        QCOMPARE(listedFiles(), listed ? QStringList{m_save->filePath(saved)} : QStringList());
        QVERIFY(form().MemoError->toPlainText().contains(log));
    }

    // A page written the way sites are written now, with its 8 pictures and
    // a counter that answers with a page.
    void modernPage_data()
    {
        QTest::addColumn<QByteArray>("ticked");
        QTest::newRow("every type and markup") << QByteArray("jgbpwam");
        QTest::newRow("nothing new ticked") << QByteArray("j");
    }
    void modernPage()
    {
        QFETCH(QByteArray, ticked);
        tick(ticked);
        HttpTestServer a, cdn;
        a.setPage("/modern.html",
                  QStringLiteral(
                      "<!doctype html><html><head><meta charset=\"utf-8\">"
                      "<meta property=\"og:image\" content=\"%1/share/og.png\"></head><body>"
                      "<picture><source type=\"image/avif\" srcset=\"img/hero.avif\">"
                      "<source type=\"image/webp\" srcset=\"img/hero.webp 1x\">"
                      "<img src=\"img/photo.jpeg\" alt=\"photo\"></picture>"
                      "<img src=\"img/small.png\" srcset=\"img/small.png 480w, img/large.png 1080w\" sizes=\"100vw\">"
                      "<img class=\"lazy\" src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\""
                      " data-src=\"img/lazy.webp\">"
                      "<img src=\"//127.0.0.1:%2/i/8f3a?w=800&amp;fmt=auto\" alt=\"\">"
                      "<img src=\"/count?page=modern\" width=1 height=1>"
                      "<a href=\"next.html\">next</a></body></html>")
                      .arg(a.baseUrl())
                      .arg(cdn.port()));
        a.setPage("/next.html", "<p>the end</p>");
        a.setPage("/count", "<html>counted</html>");
        struct Picture {
            QString address;
            QByteArray bytes;
            QString extension;
        };
        const QList<Picture> pictures{
            {a.url("/share/og.png"), png({6, 4}), ".png"},  {a.url("/img/hero.avif"), kAvif, ".avif"},
            {a.url("/img/hero.webp"), kWebp, ".webp"},      {a.url("/img/photo.jpeg"), jpeg(), ".jpg"},
            {a.url("/img/small.png"), png({2, 2}), ".png"}, {a.url("/img/large.png"), png({8, 8}), ".png"},
            {a.url("/img/lazy.webp"), kWebp + "lazy", ".webp"},
            {cdn.url("/i/8f3a?w=800&fmt=auto"), jpeg() + "cdn", ".jpg"}};
        // Served with no Content-Type: the bytes alone tell the kinds.
        for (const Picture& p : pictures)
            (p.address.startsWith(cdn.baseUrl()) ? cdn : a).setBody(QUrl(p.address).path(), p.bytes, QByteArray());
        crawl(a.url("/modern.html"));
        QVERIFY(a.requestedPaths().contains("/next.html"));

        const QMap<QString, int> modes = pictureModes();
        if (ticked == "j") {
            // As ever: no picture of this page ends in ".jpg".
            QCOMPARE(modes, (QMap<QString, int>()));
            QCOMPARE(savedFiles(), QStringList());
            return;
        }
        QMap<QString, int> expected{{a.url("/count?page=modern"), 2}};
        for (const Picture& p : pictures)
            expected.insert(p.address, 3);
        QCOMPARE(modes, expected);
        // Every saved file is one of the pictures, under its number and its kind's extension.
        QStringList names;
        for (const Picture& p : pictures) {
            const QString name = QString::asprintf("%4.4d", imageLinkNumber(p.address)) + p.extension;
            QCOMPARE(fileBytes(m_save->filePath(name)), p.bytes);
            names << name;
        }
        names.sort();
        QCOMPARE(savedFiles(), names);
    }

    // Debian's libxslt documentation shows 12 pictures (8 GIF, 4 PNG) on its
    // pages, and links to five more that it does not ship.
    void libxsltDocumentation_data()
    {
        QTest::addColumn<QByteArray>("ticked");
        QTest::addColumn<QStringList>("pictures");
        const QStringList gifs{"Libxslt-Logo-180x168.gif", "contexts.gif", "node.gif", "object.gif",
                               "processing.gif", "redhat.gif", "stylesheet.gif", "templates.gif"};
        const QStringList pngs{"html/home.png", "html/left.png", "html/right.png", "html/up.png"};
        QTest::newRow("every type and markup") << QByteArray("jgbpwam") << gifs + pngs;
        QTest::newRow("JPEG and GIF as before") << QByteArray("jg") << gifs;
    }
    void libxsltDocumentation()
    {
        QFETCH(QByteArray, ticked);
        QFETCH(QStringList, pictures);
        if (!QFileInfo(kLibxsltHtml + QStringLiteral("/index.html")).isFile())
            QSKIP("libxslt1-dev's HTML documentation is not installed (scripts/setup.sh --tests installs it)");
        tick(ticked);
        HttpTestServer site;
        QDirIterator it(kLibxsltHtml, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString suffix = QFileInfo(path).suffix();
            const QByteArray type = suffix == u"html" ? "text/html" : suffix == u"png" ? "image/png"
                                  : suffix == u"gif" ? "image/gif" : "application/octet-stream";
            site.setBody(path.mid(kLibxsltHtml.size()), f.readAll(), type);
        }
        crawl(site.url("/index.html"), 300000);

        QStringList saved;
        const QMap<QString, int> modes = pictureModes();
        for (auto m = modes.begin(); m != modes.end(); ++m) {
            if (m.value() != 3)
                continue;
            const QString relative = m.key().mid(site.baseUrl().size() + 1);
            const QString name = QString::asprintf("%4.4d.", imageLinkNumber(m.key())) + QFileInfo(relative).suffix();
            QCOMPARE(fileBytes(m_save->filePath(name)), fileBytes(kLibxsltHtml + QLatin1Char('/') + relative));
            saved << relative;
        }
        saved.sort();
        pictures.sort();
        QCOMPARE(saved, pictures);
        QCOMPARE(savedFiles().size(), pictures.size());
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    app::TFormSetting& settings() { return *m_fixture->windows().FormSetting; }

    // j g b p w a: JPEG GIF BMP PNG WebP AVIF; m: markup.
    void tick(const QByteArray& letters)
    {
        settings().CheckJPEG->setChecked(letters.contains('j'));
        settings().CheckGIF->setChecked(letters.contains('g'));
        settings().CheckBMP->setChecked(letters.contains('b'));
        settings().CheckPNG->setChecked(letters.contains('p'));
        settings().CheckWebP->setChecked(letters.contains('w'));
        settings().CheckAVIF->setChecked(letters.contains('a'));
        settings().CheckMarkup->setChecked(letters.contains('m'));
    }
    void crawl(const QString& address, int timeoutMs = 60000)
    {
        m_ended = false;
        form().ComboURL->setEditText(address);
        form().BtTansaku->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_ended, timeoutMs);
    }
    // The picture links by address, with their Mode.
    QMap<QString, int> pictureModes()
    {
        QMap<QString, int> out;
        store::Table& t = *form().dm3().TaLinkImg3;
        t.refresh();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            out.insert(t.fieldByName("URL").asString(), t.fieldByName("Mode").asInteger());
        return out;
    }
    int imageLinkNumber(const QString& address)
    {
        store::Table& t = *form().dm3().TaLinkImg3;
        t.refresh();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            if (t.fieldByName("URL").asString() == address)
                return t.fieldByName("No").asInteger();
        return -1;
    }
    QStringList savedFiles() { return QDir(m_save->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    QStringList listedFiles()
    {
        QStringList out;
        store::Table& t = *form().dm3().TaList2;
        store::openIfClosed(t);
        t.refresh();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            out << t.fieldByName("フルパス名").asString();
        return out;
    }
    static QByteArray fileBytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_save;
    bool m_ended = false;
};

QTEST_MAIN(TestModernWeb)
#include "tst_modernweb.moc"
