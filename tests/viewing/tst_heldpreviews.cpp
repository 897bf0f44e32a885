#include "store/Fingerprints.h"
#include "store/FixedTables.h"
#include "store/HeldThumbnails.h"
#include "store/Store.h"
#include "viewing/HeldPreviews.h"
#include "viewing/Thumbnails.h"

#include <QBuffer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using store::HeldThumbnails;

// Thumbnails of pictures held in an image table, kept beside the records.
class TestHeldPreviews : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        store::Store::createFile(m_dir->filePath(store::Store::fileName()));
        m_store = std::make_unique<store::Store>(m_dir->path());
        m_store->createTable(kImages, store::imageTableFields(), store::imageTableIndexes());
        viewing::setThumbnailsEnabled(true);
    }
    void cleanup()
    {
        viewing::setThumbnailsEnabled(true);
        m_store.reset();
        m_dir.reset();
    }

    // A changed picture never shows the thumbnail of the one before, however
    // it changed; an unchanged one is shown from its thumbnail.
    void aChangedPicture_data()
    {
        QTest::addColumn<QSize>("size");      // of the picture put in its place
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<int>("fingerprint"); // 0 left as it was, 1 follows the bytes, 2 dropped
        QTest::newRow("unchanged") << QSize(400, 300) << QColor(Qt::red) << 0;
        QTest::newRow("another length") << QSize(500, 300) << QColor(Qt::blue) << 1;
        QTest::newRow("same length, fingerprint follows") << QSize(400, 300) << QColor(Qt::blue) << 1;
        QTest::newRow("same length, fingerprint dropped") << QSize(400, 300) << QColor(Qt::blue) << 2;
    }
    void aChangedPicture()
    {
        QFETCH(QSize, size);
        QFETCH(QColor, colour);
        QFETCH(int, fingerprint);
        // Uncompressed bitmaps: the same size and another colour keep the length.
        const QByteArray before = bitmap(QSize(400, 300), Qt::red);
        putPicture(1, before);
        viewing::HeldPreviews held(*m_store, kDatabase, kImages);
        QVERIFY(held.preview(1, before, kBox));
        QVERIFY(held.find(1, kBox)); // kept, and the record's fingerprint with it
        plant(1, before);

        const QByteArray after = bitmap(size, colour);
        const bool changed = after != before;
        if (changed)
            putPicture(1, after);
        store::Fingerprints prints(*m_store);
        if (fingerprint == 1)
            prints.putRecord(kDatabase, 1, {store::sha256Of(after), {}, {}});
        else if (fingerprint == 2)
            prints.dropRecord(kDatabase, 1);
        QCOMPARE(bool(held.find(1, kBox)), !changed);
        const auto shown = held.preview(1, after, kBox);
        QVERIFY(shown);
        QCOMPARE(shown->fullSize, size);
        // Unchanged, the thumbnail planted in the table shows.
        QCOMPARE(shown->image.pixelColor(shown->image.rect().center()), changed ? colour : QColor(Qt::magenta));
    }

    // Off, the store's thumbnails are neither read nor written: no table is
    // made, a kept one is not shown nor marked used, nothing waiting is written.
    void switchedOff()
    {
        const QByteArray bytes = bitmap(QSize(400, 300), Qt::green);
        putPicture(1, bytes);
        putPicture(2, bytes);
        viewing::setThumbnailsEnabled(false);
        viewing::HeldPreviews held(*m_store, kDatabase, kImages);
        QVERIFY(held.preview(1, bytes, kBox));
        QVERIFY(!HeldThumbnails::kept(*m_store));
        QVERIFY(!m_store->tableExists(store::Fingerprints::kRecordTable));

        viewing::setThumbnailsEnabled(true);
        QVERIFY(held.preview(1, bytes, kBox));
        plant(1, bytes);
        const QStringList before = rows();
        QCOMPARE(before.size(), 1);
        viewing::setThumbnailsEnabled(false);
        const auto shown = held.preview(1, bytes, kBox);
        QVERIFY(shown);
        QCOMPARE(shown->image.pixelColor(5, 5), QColor(Qt::green));
        QVERIFY(!held.find(1, kBox));
        held.keep(2, 256, {bytes.size(), store::sha256Of(bytes)}, *viewing::encodeThumbnail(*shown, 256));
        held.used(1, 256);
        held.commit();
        QCOMPARE(rows(), before);
    }

    // Past the limit the rows used longest ago go, until the rest fit.
    void leastRecentlyUsedGoFirst()
    {
        HeldThumbnails thumbs(*m_store);
        thumbs.setLimit(3 * 100);
        const store::HeldThumbnail thumb{QByteArray(100, 'x'), QSize(10, 10), QStringLiteral("JPEG")};
        for (qint32 serial : {1, 2, 3})
            thumbs.put(kDatabase, serial, 128, {1, "a"}, thumb);
        thumbs.touch(kDatabase, 1, 128);
        thumbs.evict();
        QCOMPARE(thumbs.totalBytes(), 300); // at the limit, nothing goes
        thumbs.put(kDatabase, 4, 128, {1, "a"}, thumb);
        thumbs.put(kDatabase, 5, 128, {1, "a"}, thumb);
        thumbs.evict();
        QCOMPARE(serials(), (QList<qint32>{1, 4, 5}));
        thumbs.setLimit(150);
        thumbs.evict();
        QCOMPARE(serials(), QList<qint32>{5});
    }

private:
    // A thumbnail of its own colour, magenta, kept for the picture.
    void plant(qint32 serial, const QByteArray& bytes)
    {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        HeldThumbnails(*m_store).put(kDatabase, serial, 256, {bytes.size(), store::sha256Of(bytes)},
                                     {png, QSize(400, 300), QStringLiteral("BMP")});
    }
    void putPicture(qint32 serial, const QByteArray& bytes)
    {
        m_store->exec(QStringLiteral("INSERT OR REPLACE INTO \"Sample_\" (\"連番\", \"画像\") VALUES (?, ?)"), {serial, bytes});
    }
    static QByteArray bitmap(QSize size, QColor colour)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "BMP");
        return out;
    }
    QStringList rows()
    {
        QStringList out;
        QSqlQuery q(m_store->db());
        q.exec(QStringLiteral("SELECT \"serial\", \"used\", \"length\" FROM \"_ThumbnailDB\" ORDER BY \"serial\""));
        while (q.next())
            out << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString() + QLatin1Char(' ') + q.value(2).toString();
        return out;
    }
    QList<qint32> serials()
    {
        QList<qint32> out;
        QSqlQuery q(m_store->db());
        q.exec(QStringLiteral("SELECT \"serial\" FROM \"_ThumbnailDB\" ORDER BY \"serial\""));
        while (q.next())
            out << q.value(0).toInt();
        return out;
    }

    inline static const QString kDatabase = QStringLiteral("Sample");
    inline static const QString kImages = QStringLiteral("Sample_");
    static constexpr QSize kBox{195, 180};
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<store::Store> m_store;
};

QTEST_MAIN(TestHeldPreviews)
#include "tst_heldpreviews.moc"
