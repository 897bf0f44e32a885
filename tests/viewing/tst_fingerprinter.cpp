#include "store/Store.h"
#include "support/TempPhoto.h"
#include "viewing/Fingerprinter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A picture with some structure, different for each seed.
QImage pattern(int seed, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 67) % 360, 90, 200));
    QPainter p(&image);
    for (int i = 0; i < 6; ++i) {
        p.setBrush(QColor::fromHsv((seed * 131 + i * 53) % 360, 200, 60 + 30 * i));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRect((seed * 37 + i * 71) % size.width(), (seed * 23 + i * 41) % size.height(),
                            size.width() / 3, size.height() / 3));
    }
    return image;
}

} // namespace

// Fingerprints are computed once: a second run over the same files finds
// them all kept; a file changed since is computed again.
class TestFingerprinter : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_photo = std::make_unique<TempPhoto>();
        QVERIFY(m_photo->isValid());
        m_store = std::make_unique<store::Store>();
        QVERIFY(m_tree.isValid());
        m_files.clear();
        const QSize sizes[] = {{320, 200}, {200, 300}, {640, 400}};
        const char* formats[] = {"JPEG", "PNG", "JPEG"};
        for (int i = 0; i < 3; ++i) {
            const QString path = QDir(m_tree.path()).filePath(QStringLiteral("p%1.%2").arg(i).arg(formats[i]));
            QVERIFY(pattern(i, sizes[i]).save(path, formats[i]));
            m_sizes << sizes[i];
            m_files << path;
        }
    }
    void cleanup()
    {
        m_store.reset();
        m_photo.reset();
        m_sizes.clear();
    }

    void computedOnceAgainWhenChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("secondComputed");
        QTest::addColumn<int>("secondSkipped");
        QTest::newRow("unchanged") << "" << 0 << 0;
        QTest::newRow("rewritten, other size") << "size" << 1 << 0;
        QTest::newRow("same bytes, other time") << "time" << 1 << 0;
        QTest::newRow("no longer a picture") << "garbage" << 0 << 1;
        QTest::newRow("first run stopped") << "stop" << -1 << 0;
    }
    void computedOnceAgainWhenChanged()
    {
        QFETCH(QString, change);
        QFETCH(int, secondComputed);
        QFETCH(int, secondSkipped);

        viewing::Fingerprinter f(*m_store);
        int firstComputed = 0;
        if (change == QLatin1String("stop")) {
            // Stopped once the first result is written: what was computed is kept.
            f.setApplyPerTurn(1);
            connect(&f, &viewing::Fingerprinter::progress, &f, [&f] {
                if (f.computed() > 0)
                    f.stop();
            });
            QCOMPARE(run(f), 1);
            firstComputed = int(f.computed());
            QVERIFY(firstComputed >= 1);
            f.disconnect(&f);
            secondComputed = 3 - firstComputed;
        } else {
            QCOMPARE(run(f), 0);
            QCOMPARE(int(f.computed()), 3);
            for (int i = 0; i < 3; ++i) {
                QVERIFY(f.results()[size_t(i)] && f.results()[size_t(i)]->hash);
                QCOMPARE(f.results()[size_t(i)]->pixels, m_sizes[i]);
                QCOMPARE(f.results()[size_t(i)]->sha256.size(), 32);
            }
        }
        const auto first = f.results();

        if (change == QLatin1String("size"))
            QVERIFY(pattern(7, {300, 300}).save(m_files[0], "JPEG"));
        if (change == QLatin1String("time")) {
            QFile file(m_files[0]);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QFileInfo(file).lastModified().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        if (change == QLatin1String("garbage")) {
            QFile file(m_files[0]);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a picture");
        }
        QSignalSpy skipped(&f, &viewing::Fingerprinter::skipped);
        QCOMPARE(run(f), 0);
        QCOMPARE(int(f.computed()), secondComputed);
        QCOMPARE(skipped.size(), secondSkipped);
        if (change.isEmpty() || change == QLatin1String("time"))
            QVERIFY(f.results() == first);
    }

private:
    // Runs over the files as they are now: 1 when it was stopped, 0 when it
    // ended, -1 when it did not start or end.
    int run(viewing::Fingerprinter& f)
    {
        std::vector<viewing::FileStamp> files;
        for (const QString& path : m_files) {
            const QFileInfo info(path);
            files.push_back({path, info.size(), info.lastModified()});
        }
        QSignalSpy finished(&f, &viewing::Fingerprinter::finished);
        if (!f.start(std::move(files)) || (finished.isEmpty() && !finished.wait(60000)))
            return -1;
        return finished.first().first().toBool() ? 1 : 0;
    }

    std::unique_ptr<TempPhoto> m_photo;
    std::unique_ptr<store::Store> m_store;
    QTemporaryDir m_tree;
    QStringList m_files;
    QList<QSize> m_sizes;
};

QTEST_MAIN(TestFingerprinter)
#include "tst_fingerprinter.moc"
