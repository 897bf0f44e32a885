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
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

namespace {

QByteArray picture(QSize size, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// 1 x 1 and 2 x 2 pixels, as their tools write them.
const QByteArray kGif = QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c000000000100"
                                            "01000002024401003b");
const QByteArray kWebp = QByteArray::fromBase64("UklGRhwAAABXRUJQVlA4TA8AAAAvAUAAAAcQ/Y/+ByKi/wEA");
const QByteArray kAvif = QByteArray::fromBase64(
    "AAAAIGZ0eXBhdmlmAAAAAGF2aWZtaWYxbWlhZk1BMUEAAADybWV0YQAAAAAAAAAoaGRscgAAAAAAAAAAcGljdAAAAAAAAAAAAAAAAGxpYmF2aWYA"
    "AAAADnBpdG0AAAAAAAEAAAAeaWxvYwAAAABEAAABAAEAAAABAAABGgAAAB8AAAAoaWluZgAAAAAAAQAAABppbmZlAgAAAAABAABhdjAxQ29sb3IA"
    "AAAAamlwcnAAAABLaXBjbwAAABRpc3BlAAAAAAAAAAIAAAACAAAAEHBpeGkAAAAAAwgICAAAAAxhdjFDgSAAAAAAABNjb2xybmNseAABAA0ABoAA"
    "AAAXaXBtYQAAAAAAAAABAAEEAQKDBAAAACdtZGF0EgAKBzgANhAQ0GkyEhZABhhhhAAAeUzcPVMfYxBeqA==");

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
        settings().CheckSize->setChecked(false); // the pictures here are a few bytes
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

    // One picture address each, every type but GIF ticked, with markup. A
    // kept picture is listed unless the error log names why not.
    void theBytesDecide_data()
    {
        QTest::addColumn<QString>("src");     // as the page has it
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("type"); // Content-Type; empty: none sent
        QTest::addColumn<QString>("saved");   // the file kept; empty: none, the link at エラー
        QTest::addColumn<QString>("log");     // in the error log

        QTest::newRow("PNG named .jpg, called image/jpeg")
            << "x.jpg" << picture({4, 3}, "PNG") << QByteArray("image/jpeg") << "0001.png" << "";
        QTest::newRow("WebP without extension, called text/html")
            << "/cdn/p" << kWebp << QByteArray("text/html") << "0001.webp" << "";
        QTest::newRow("AVIF at a query, no Content-Type") << "/i.php?id=3" << kAvif << QByteArray() << "0001.avif" << "";
        QTest::newRow("ISO file of another brand, called image/avif")
            << "/a?b=1" << QByteArray(kAvif).replace(8, 4, "mif1") << QByteArray("image/avif") << "0001.avif" << "";
        QTest::newRow("a wide PNG is kept, refused by the ratio test")
            << "w.png" << picture({300, 100}, "PNG") << QByteArray("image/png") << "0001.png" << "比率チェック ";
        QTest::newRow("a page at a picture address, called image/jpeg")
            << "/photo/7" << QByteArray("<html>photo</html>") << QByteArray("image/jpeg") << ""
            << "画像ではありません (Content-Type: image/jpeg)";
        QTest::newRow("text beginning BM, called text/plain")
            << "t.bmp" << QByteArray("BMW and others") << QByteArray("text/plain") << "" << "画像ではありません";
        QTest::newRow("a GIF, not ticked") << "/g" << kGif << QByteArray("image/gif") << "" << "対象外の画像です : GIF";
    }
    void theBytesDecide()
    {
        QFETCH(QString, src);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, type);
        QFETCH(QString, saved);
        QFETCH(QString, log);
        tick("jbpwam");
        HttpTestServer a;
        a.setPage("/i.html", QStringLiteral("<img src=\"%1\">").arg(src));
        const QString path = src.startsWith(QLatin1Char('/')) ? src : QLatin1Char('/') + src;
        a.setBody(path.section(QLatin1Char('?'), 0, 0), body, type);
        crawl(a.url("/i.html"));

        QCOMPARE(pictureRows(), (QMap<QString, QPair<int, int>>{{a.url(path), {1, saved.isEmpty() ? 2 : 3}}}));
        QCOMPARE(savedFiles(), saved.isEmpty() ? QStringList() : QStringList{saved});
        if (!saved.isEmpty())
            QCOMPARE(fileBytes(m_save->filePath(saved)), body);
        const bool listed = !saved.isEmpty() && log.isEmpty();
        QCOMPARE(listedFiles(), listed ? QStringList{m_save->filePath(saved)} : QStringList());
        QVERIFY(form().MemoError->toPlainText().contains(log));
    }

    // A page written the way sites are written now: 8 pictures, and a
    // counter that answers with a page.
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
                  QStringLiteral("<!doctype html><html><head><meta property=\"og:image\" content=\"%1/share/og.png\">"
                                 "</head><body><picture><source type=\"image/avif\" srcset=\"img/hero.avif\">"
                                 "<source type=\"image/webp\" srcset=\"img/hero.webp 1x\">"
                                 "<img src=\"img/photo.jpeg\" alt=\"photo\"></picture>"
                                 "<img src=\"img/s.png\" srcset=\"img/s.png 480w, img/l.png 1080w\" sizes=\"100vw\">"
                                 "<img class=\"lazy\" src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\""
                                 " data-src=\"img/lazy.webp\"><img src=\"//127.0.0.1:%2/i/8f3a?w=800&amp;fmt=auto\">"
                                 "<img src=\"/count?page=modern\" width=1 height=1><a href=\"next.html\">next</a>")
                      .arg(a.baseUrl())
                      .arg(cdn.port()));
        a.setPage("/next.html", "<p>the end</p>");
        a.setPage("/count", "<html>counted</html>");
        // Address, bytes and the extension they are saved with; served with
        // no Content-Type, so that the bytes alone tell.
        const QList<std::tuple<QString, QByteArray, QString>> pictures{
            {a.url("/share/og.png"), picture({6, 4}, "PNG"), ".png"}, {a.url("/img/hero.avif"), kAvif, ".avif"},
            {a.url("/img/hero.webp"), kWebp, ".webp"}, {a.url("/img/photo.jpeg"), picture({4, 3}, "JPEG"), ".jpg"},
            {a.url("/img/s.png"), picture({2, 2}, "PNG"), ".png"}, {a.url("/img/l.png"), picture({8, 8}, "PNG"), ".png"},
            {a.url("/img/lazy.webp"), kWebp + "lazy", ".webp"},
            {cdn.url("/i/8f3a?w=800&fmt=auto"), picture({5, 5}, "JPEG"), ".jpg"}};
        for (const auto& [address, bytes, extension] : pictures)
            (address.startsWith(cdn.baseUrl()) ? cdn : a).setBody(QUrl(address).path(), bytes, QByteArray());
        crawl(a.url("/modern.html"));
        QVERIFY(a.requestedPaths().contains("/next.html"));

        const QMap<QString, QPair<int, int>> rows = pictureRows();
        if (ticked == "j") {
            // As ever: no picture of this page ends in ".jpg".
            QCOMPARE(rows.size(), 0);
            QCOMPARE(savedFiles(), QStringList());
            return;
        }
        QCOMPARE(rows.size(), pictures.size() + 1);
        QCOMPARE(rows.value(a.url("/count?page=modern")).second, 2);
        QStringList names;
        for (const auto& [address, bytes, extension] : pictures) {
            QCOMPARE(rows.value(address).second, 3);
            names << QString::asprintf("%4.4d", rows.value(address).first) + extension;
            QCOMPARE(fileBytes(m_save->filePath(names.last())), bytes);
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
        const QStringList gifs{"Libxslt-Logo-180x168.gif", "contexts.gif",   "node.gif",       "object.gif",
                               "processing.gif",           "redhat.gif",     "stylesheet.gif", "templates.gif"};
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
        for (QDirIterator it(kLibxsltHtml, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            site.setBody(path.mid(kLibxsltHtml.size()), fileBytes(path),
                         path.endsWith(u".html") ? QByteArray("text/html") : QByteArray());
        }
        crawl(site.url("/index.html"), 300000);

        QStringList saved;
        const QMap<QString, QPair<int, int>> rows = pictureRows();
        for (auto row = rows.begin(); row != rows.end(); ++row) {
            if (row.value().second != 3)
                continue;
            const QString relative = row.key().mid(site.baseUrl().size() + 1);
            const QString name = QString::asprintf("%4.4d.", row.value().first) + QFileInfo(relative).suffix();
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
    // The picture links: address → (No, Mode).
    QMap<QString, QPair<int, int>> pictureRows()
    {
        QMap<QString, QPair<int, int>> out;
        store::Table& t = *form().dm3().TaLinkImg3;
        t.refresh();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            out.insert(t.fieldByName("URL").asString(),
                       {t.fieldByName("No").asInteger(), t.fieldByName("Mode").asInteger()});
        return out;
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
