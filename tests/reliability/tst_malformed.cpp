#include "controls/AviFile.h"
#include "support/AvifWriter.h"
#include "support/MetafileWriter.h"
#include "viewing/PictureLoader.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLoggingCategory>
#include <QTest>
#include <sys/resource.h>

// Every truncation and every single-bit flip of small valid samples of each
// format the program reads, through the loader (and the clip reader for
// AVI): none may crash, and no truncated clip is accepted. The figures (files, slowest load, peak memory) are
// printed for the README; bench/run malformed runs the same sweep.
class TestMalformed : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The readers' own complaints about the damage would fill the log.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio=false"));
    }

    void sweep_data()
    {
        QTest::addColumn<QByteArray>("sample");
        QTest::addColumn<bool>("clip");
        QTest::newRow("JPEG") << encoded("JPEG", QSize(16, 12)) << false;
        QTest::newRow("PNG") << encoded("PNG", QSize(8, 8)) << false;
        QTest::newRow("GIF") << QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c"
                                                    "00000000010001000002024401003b")
                             << false;
        QTest::newRow("BMP") << encoded("BMP", QSize(6, 4)) << false;
        QTest::newRow("WebP") << encoded("WEBP", QSize(8, 8)) << false;
        QTest::newRow("WebP lossless") << encoded("WEBP", QSize(8, 8), 100) << false;
        QTest::newRow("AVIF") << avifOf(sample(QSize(8, 8))) << false;
        QTest::newRow("ICO") << encoded("ICO", QSize(8, 8)) << false;
        {
            WmfWriter w(QRect(0, 0, 40, 30), 96, 3);
            w.pen(0, 1, qRgb(0, 0, 0));
            w.brush(0, qRgb(0, 0, 255));
            w.record(0x012D, {0});
            w.record(0x012D, {1});
            w.record(0x0324, {3, 2, 2, 30, 2, 15, 25});
            w.record(0x041B, {28, 38, 5, 5});
            w.record(0x02FB, {-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0});
            w.record(0x012D, {2});
            w.record(0x0521, {2, 0x4848, 10, 10});
            QTest::newRow("WMF") << w.finish() << false;
        }
        {
            EmfWriter e(QSize(40, 30));
            e.record(39, {1, 0, 0x00FF0000, 0});           // CreateBrushIndirect, handle 1
            e.record(37, {1});                             // SelectObject
            e.record(43, {2, 2, 30, 20});                  // Rectangle
            e.record(42, {5, 5, 35, 25});                  // Ellipse
            QTest::newRow("EMF") << e.finish() << false;
        }
        {
            AviClip clip;
            clip.size = QSize(8, 8);
            clip.usPerFrame = 100000;
            clip.frames << encoded("JPEG", QSize(8, 8)) << encoded("JPEG", QSize(8, 8));
            QTest::newRow("AVI") << writeAvi(clip) << true;
        }
    }

    void sweep()
    {
        QFETCH(QByteArray, sample);
        QFETCH(bool, clip);
        // The sample itself is good.
        QVERIFY(clip ? readAvi(sample).has_value() : loadPictureOk(sample));
        qint64 slowestNs = 0;
        int files = 0;
        auto load = [&](const QByteArray& bytes) {
            QElapsedTimer t;
            t.start();
            const bool accepted = clip ? readAvi(bytes).has_value()
                                       : viewing::loadPictureData(bytes, QSize(273, 288)).has_value();
            slowestNs = std::max(slowestNs, t.nsecsElapsed());
            ++files;
            return accepted;
        };
        for (qsizetype n = 0; n < sample.size(); ++n) {
            // A clip cut anywhere is refused: the reader wants it whole.
            if (load(sample.left(n)) && clip)
                QFAIL(qPrintable(QStringLiteral("a clip cut at %1 of %2 bytes was accepted")
                                     .arg(n)
                                     .arg(sample.size())));
        }
        for (qsizetype i = 0; i < sample.size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray flipped = sample;
                flipped[i] = char(flipped[i] ^ (1 << bit));
                load(flipped);
            }
        }
        s_files += files;
        s_slowestNs = std::max(s_slowestNs, slowestNs);
        qInfo("%s: %d malformed files, slowest %.1f ms", QTest::currentDataTag(), files, slowestNs / 1e6);
    }

    void cleanupTestCase()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        qInfo("malformed: %d files, 0 crashes, slowest %.1f ms, peak resident memory %.0f MB", s_files,
              s_slowestNs / 1e6, usage.ru_maxrss / 1024.0);
    }

private:
    static QImage sample(QSize size)
    {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, qRgb(x * 30, y * 40, (x + y) * 10));
        return image;
    }
    static QByteArray encoded(const char* format, QSize size, int quality = -1)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        sample(size).save(&buffer, format, quality);
        return bytes;
    }
    static bool loadPictureOk(const QByteArray& bytes) { return viewing::loadPictureData(bytes).has_value(); }

    static inline int s_files = 0;
    static inline qint64 s_slowestNs = 0;
};

QTEST_MAIN(TestMalformed)
#include "tst_malformed.moc"
