#include "support/PhotoData.h"
#include "viewing/Thumbnails.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QUrl>

using viewing::ThumbnailCache;

// The desktop's shared thumbnails, read back as another program reads them.
class TestThumbnails : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        viewing::setThumbnailRoot(root());
        viewing::setThumbnailsEnabled(true);
    }
    void cleanup()
    {
        QThreadPool::globalInstance()->waitForDone();
        m_dir.reset();
    }

    void sizeClasses_data()
    {
        QTest::addColumn<QSize>("box");
        QTest::addColumn<int>("size");
        QTest::newRow("small") << QSize(100, 60) << 128;
        QTest::newRow("exactly normal") << QSize(64, 128) << 128;
        QTest::newRow("just past") << QSize(129, 10) << 256;
        QTest::newRow("the file list's preview") << QSize(273, 288) << 512;
        QTest::newRow("a large box") << QSize(600, 500) << 1024;
        QTest::newRow("past the largest") << QSize(3000, 10) << 1024;
    }
    void sizeClasses()
    {
        QFETCH(QSize, box);
        QFETCH(int, size);
        QCOMPARE(ThumbnailCache::sizeClassFor(box), size);
    }

    // Name, keys, size and modes as the standard has them; the second
    // preview comes from the thumbnail.
    void writtenAsTheStandardSays()
    {
        const QString file = picture(QStringLiteral("a photo.jpg"), QSize(800, 600), Qt::darkGreen);
        const auto first = viewing::loadPreview(file, QSize(273, 288));
        QVERIFY(first);
        const QByteArray uri = "file://" + QUrl::toPercentEncoding(QFileInfo(file).absoluteFilePath(), "/");
        const QString expected = root() + QStringLiteral("/x-large/")
                                 + QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + QStringLiteral(".png");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(expected), 20000);
        QImage thumb(expected, "PNG");
        QCOMPARE(thumb.text(QStringLiteral("Thumb::URI")).toUtf8(), uri);
        QCOMPARE(thumb.text(QStringLiteral("Thumb::MTime")).toLongLong(), QFileInfo(file).lastModified().toSecsSinceEpoch());
        QCOMPARE(thumb.text(QStringLiteral("Thumb::Size")).toLongLong(), QFileInfo(file).size());
        QCOMPARE(thumb.text(QStringLiteral("Thumb::Image::Width")), QStringLiteral("800"));
        QCOMPARE(thumb.text(QStringLiteral("Thumb::Image::Height")), QStringLiteral("600"));
        QCOMPARE(thumb.text(QStringLiteral("Thumb::Mimetype")), QStringLiteral("image/jpeg"));
        QVERIFY(qMax(thumb.width(), thumb.height()) <= 512);
        // Owner, group and others as the mode's three digits say them.
        const QFile::Permissions mode(0x7077);
        QCOMPARE(QFileInfo(expected).permissions() & mode, QFile::ReadOwner | QFile::WriteOwner);
        for (const QString& dir : {root(), root() + QStringLiteral("/x-large")})
            QCOMPARE(QFileInfo(dir).permissions() & mode, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(QDir(root() + QStringLiteral("/x-large")).entryList(QDir::Files | QDir::Hidden).size(), 1);

        const auto second = viewing::loadPreview(file, QSize(273, 288));
        QVERIFY(second);
        QCOMPARE(second->fullSize, QSize(800, 600));
        QCOMPARE(second->format, QStringLiteral("JPEG"));
        QCOMPARE(second->image.size(), thumb.size());
    }

    // A thumbnail whose file changed since is never shown: the file is
    // decoded again.
    void aStaleThumbnail()
    {
        const QString file = picture(QStringLiteral("b.jpg"), QSize(400, 300), Qt::red);
        QVERIFY(viewing::loadPreview(file, QSize(200, 200)));
        const QString thumb = ThumbnailCache(root()).thumbnailPath(file, 256);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(thumb), 20000);
        QVERIFY(writePicture(file, QSize(300, 400), "JPEG", Qt::blue));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QFileInfo(thumb).lastModified().addSecs(60), QFileDevice::FileModificationTime));
        f.close();
        const auto shown = viewing::loadPreview(file, QSize(200, 200));
        QVERIFY(shown);
        QCOMPARE(shown->fullSize, QSize(300, 400));
    }

    // Another program's thumbnail, with the required keys alone, is used.
    void anotherProgramsThumbnail()
    {
        const QString file = picture(QStringLiteral("c.png"), QSize(640, 480), Qt::yellow);
        QImage theirs(128, 96, QImage::Format_RGB32);
        theirs.fill(Qt::magenta);
        theirs.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(ThumbnailCache::uriOf(file)));
        theirs.setText(QStringLiteral("Thumb::MTime"), QString::number(QFileInfo(file).lastModified().toSecsSinceEpoch()));
        const QString path = ThumbnailCache(root()).thumbnailPath(file, 128);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(theirs.save(path, "PNG"));
        const auto shown = viewing::loadPreview(file, QSize(100, 100));
        QVERIFY(shown);
        QCOMPARE(shown->image.pixelColor(5, 5), QColor(Qt::magenta));
        QCOMPARE(shown->fullSize, QSize(640, 480)); // from the file's header
        QCOMPARE(shown->format, QStringLiteral("PNG"));
    }

    // A picture that cannot be decoded is recorded under fail/ and not
    // decoded again while it stays as it is: the same name, size and time
    // with good bytes still fails.
    void aBrokenPicture()
    {
        const QString file = QDir(m_dir->path()).filePath(QStringLiteral("broken.jpg"));
        const QString good = picture(QStringLiteral("good.jpg"), QSize(64, 64), Qt::cyan);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(int(QFileInfo(good).size()) - 4, 'x'));
        f.close();
        QString error;
        QVERIFY(!viewing::loadPreview(file, QSize(100, 100), &error));
        QVERIFY(!error.isEmpty());
        const QString mark = ThumbnailCache(root()).failurePath(file);
        QVERIFY(mark.startsWith(root() + QStringLiteral("/fail/quillon-")));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(mark), 20000);
        QCOMPARE(QImage(mark, "PNG").text(QStringLiteral("Thumb::URI")).toUtf8(), ThumbnailCache::uriOf(file));

        const QDateTime time = QFileInfo(file).lastModified();
        QVERIFY(QFile::remove(file) && QFile::copy(good, file));
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(time, QFileDevice::FileModificationTime));
        f.close();
        QString again;
        QVERIFY(!viewing::loadPreview(file, QSize(100, 100), &again));
        QCOMPARE(again, error);
        QVERIFY(viewing::loadPicture(file, QSize(100, 100))); // the bytes themselves decode
    }

    // Off, nothing is read or written: the cache stays as it was.
    void switchedOff()
    {
        viewing::setThumbnailsEnabled(false);
        const QString file = picture(QStringLiteral("d.jpg"), QSize(300, 200), Qt::gray);
        QImage planted(10, 10, QImage::Format_RGB32);
        planted.fill(Qt::black);
        planted.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(ThumbnailCache::uriOf(file)));
        planted.setText(QStringLiteral("Thumb::MTime"), QString::number(QFileInfo(file).lastModified().toSecsSinceEpoch()));
        const QString path = ThumbnailCache(root()).thumbnailPath(file, 256);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && planted.save(path, "PNG"));
        const QStringList before = contents();
        const auto shown = viewing::loadPreview(file, QSize(200, 200));
        QVERIFY(shown);
        QCOMPARE(shown->fullSize, QSize(300, 200));
        QVERIFY(shown->image.pixelColor(5, 5) != QColor(Qt::black));
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(contents(), before);
    }

private:
    QString root() const { return m_dir->filePath(QStringLiteral("cache/thumbnails")); }
    QString picture(const QString& name, QSize size, QColor colour)
    {
        const QString path = QDir(m_dir->path()).filePath(name);
        const bool png = name.endsWith(QLatin1String(".png"));
        if (!writePicture(path, size, png ? "PNG" : "JPEG", colour))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QStringList contents() const
    {
        QStringList all;
        for (QDirIterator it(root(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
             it.hasNext();) {
            it.next();
            all << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size());
        }
        all.sort();
        return all;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestThumbnails)
#include "tst_thumbnails.moc"
