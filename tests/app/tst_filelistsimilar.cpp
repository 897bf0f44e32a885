#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "controls/RadioGroup.h"
#include "store/DataMd3.h"
#include "store/Fingerprints.h"
#include "store/Table.h"
#include "support/AppFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <utility>

namespace {

// A picture with some structure, different for each seed.
QImage pattern(int seed, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor::fromHsv((seed * 67) % 360, 120, 230));
    g.setColorAt(1, QColor::fromHsv((seed * 67 + 180) % 360, 200, 40));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 8; ++i) {
        p.setBrush(QColor::fromHsv((seed * 131 + i * 53) % 360, 220, 30 + 28 * i));
        p.drawEllipse(QRectF((seed * 0.37 + i * 0.29) * size.width(), (seed * 0.23 + i * 0.41) * size.height(),
                             size.width() / 4.0, size.height() / 3.0)
                          .translated(-size.width() * ((seed + i) % 3) / 2.0, -size.height() * (i % 2) / 2.0));
    }
    return image;
}

const QString kMark = QStringLiteral("〆");

} // namespace

// "類似(&S)" over the file list, and the fingerprints of a scan.
class TestFileListSimilar : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_tree = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tree->isValid());
        form().show();
        // A picture, the same bytes again, its half, it at quality 40, another
        // one, and the first cropped by a tenth.
        const QImage original = pattern(1, {800, 500});
        QVERIFY(original.save(path("a-original.jpg"), "JPEG", 95));
        QVERIFY(QFile::copy(path("a-original.jpg"), path("b-copy.jpg")));
        QVERIFY(original.scaled(400, 250, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .save(path("c-half.jpg"), "JPEG", 95));
        QVERIFY(original.save(path("d-q40.jpg"), "JPEG", 40));
        QVERIFY(pattern(2, {800, 500}).save(path("e-other.png"), "PNG"));
        QVERIFY(original.copy(0, 0, 720, 500).save(path("f-cropped.jpg"), "JPEG", 95));
        settings().CheckPNG->setChecked(true);
    }
    void cleanup()
    {
        m_fixture.reset();
        m_tree.reset();
    }

    void marksAllButTheLargestOfEachGroup_data()
    {
        QTest::addColumn<QString>("distance");
        QTest::addColumn<QString>("leftOut");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("marked");
        const QStringList near{"b-copy.jpg", "c-half.jpg", "d-q40.jpg", "e-other.png"};
        QTest::newRow("10 bits") << "10" << "f-cropped.jpg" << false << "類似 : 1 組 3 件" << near;
        QTest::newRow("not a number: 10") << "x" << "f-cropped.jpg" << false << "類似 : 1 組 3 件" << near;
        // Resizing and re-encoding may keep every bit; a crop does not.
        QTest::newRow("0 bits: exact copies") << "0" << "c-half.jpg d-q40.jpg" << false << "類似 : 1 組 1 件"
                                              << QStringList{"b-copy.jpg", "e-other.png"};
        QTest::newRow("stopped") << "10" << "" << true << "類似中止" << QStringList{"e-other.png"};
    }
    void marksAllButTheLargestOfEachGroup()
    {
        QFETCH(QString, distance);
        QFETCH(QString, leftOut);
        QFETCH(bool, stop);
        QFETCH(QString, status);
        QFETCH(QStringList, marked);
        for (const QString& name : leftOut.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            QVERIFY(QFile::remove(path(name)));
        runScan();
        // In path order, so the original is the first of equals; a mark set
        // before stays.
        tab().RadioHyouji->setItemIndex(2);
        tab().RadioHyoujiClick();
        setMark("e-other.png");
        tab().EditSimilar->setText(distance);
        if (stop) {
            // While it runs, other commands take no input; "中止" does.
            tab().fingerprinter().setApplyPerTurn(1);
            connect(&tab().fingerprinter(), &viewing::Fingerprinter::progress, this, [this] {
                if (tab().fingerprinter().computed() == 0)
                    return;
                QTest::mouseClick(tab().Button2, Qt::LeftButton);
                QTest::mouseClick(form().BtStop, Qt::LeftButton);
            });
        }
        form().setStb(0, QString());
        tab().ButtonSimilar->click();
        QTRY_VERIFY_WITH_TIMEOUT(!form().stb(0).isEmpty() && !tab().fingerprinter().isRunning(), 60000);
        QCOMPARE(form().stb(0), status);
        QCOMPARE(marks(), marked);
    }

    void editSimilarOutsideZeroTo64IsTen()
    {
        const std::pair<QString, int> rows[] = {{"0", 0}, {"64", 64}, {" 7 ", 7}, {"65", 10}, {"-1", 10}, {"", 10},
                                                {"1.5", 10}};
        for (const auto& [text, bits] : rows) {
            tab().EditSimilar->setText(text);
            QCOMPARE(tab().similarDistance(), bits);
        }
    }

    // With CheckNoDuplicate on, a scan fingerprints what it lists, each file
    // once: a second scan computes only what changed since.
    void aScanFingerprintsWhatItListsWhenAsked_data()
    {
        QTest::addColumn<bool>("noDuplicate");
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("computedAgain");
        QTest::newRow("off") << false << "" << 0;
        QTest::newRow("unchanged") << true << "" << 0;
        QTest::newRow("rewritten, other size") << true << "size" << 1;
        QTest::newRow("same bytes, other time") << true << "time" << 1;
        QTest::newRow("no longer a picture: skipped") << true << "garbage" << 0;
    }
    void aScanFingerprintsWhatItListsWhenAsked()
    {
        QFETCH(bool, noDuplicate);
        QFETCH(QString, change);
        QFETCH(int, computedAgain);
        auto* check = settings().findChild<QCheckBox*>(QStringLiteral("CheckNoDuplicate"));
        if (!check) {
            check = new QCheckBox(&settings());
            check->setObjectName(QStringLiteral("CheckNoDuplicate"));
        }
        check->setChecked(noDuplicate);
        runScan();
        QTRY_VERIFY_WITH_TIMEOUT(!tab().fingerprinter().isRunning(), 60000);
        const QFileInfo half(path("c-half.jpg"));
        const auto f = store::Fingerprints(form().dm3().store()).file(half.filePath(), half.size(), half.lastModified());
        QCOMPARE(f.has_value(), noDuplicate);
        if (!noDuplicate)
            return;
        QCOMPARE(f->pixels, QSize(400, 250));
        QCOMPARE(int(tab().fingerprinter().computed()), 6);

        QFile file(path("c-half.jpg"));
        if (change == QLatin1String("size"))
            QVERIFY(pattern(3, {300, 300}).save(half.filePath(), "JPEG"));
        if (change == QLatin1String("time"))
            QVERIFY(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(half.lastModified().addSecs(-60), QFileDevice::FileModificationTime));
        if (change == QLatin1String("garbage"))
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a picture") > 0);
        file.close();
        runScan();
        QTRY_VERIFY_WITH_TIMEOUT(!tab().fingerprinter().isRunning(), 60000);
        QCOMPARE(int(tab().fingerprinter().files().size()), 6);
        QCOMPARE(int(tab().fingerprinter().computed()), computedAgain);
        QCOMPARE(form().MemoError->toPlainText().contains(half.filePath()), change == QLatin1String("garbage"));
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    app::FileListTab& tab() { return *form().fileListTab(); }
    app::TFormSetting& settings() { return *m_fixture->windows().FormSetting; }
    QString path(const QString& name) const { return QDir(m_tree->path()).filePath(name); }

    void runScan()
    {
        form().ApplyTarget(false);
        form().ComboDirectory->setEditText(m_tree->path());
        form().BtTansaku->click();
        QTRY_VERIFY_WITH_TIMEOUT(form().stb(0) != QStringLiteral("探索開始...") && !form().stb(0).isEmpty()
                                     && form().stopIconIndex() == 9,
                                 60000);
    }
    // The file names of the marked rows, sorted.
    QStringList marks()
    {
        store::Table& t = *form().dm3().TaList2;
        t.refresh();
        QStringList out;
        for (t.first(); !t.eof(); t.next())
            if (t.fieldByName(QStringLiteral("印")).asString() == kMark)
                out << QFileInfo(t.fieldByName(QStringLiteral("フルパス名")).asString()).fileName();
        out.sort();
        return out;
    }
    void setMark(const QString& name)
    {
        store::Table& t = *form().dm3().TaList2;
        if (!t.isOpen())
            t.open();
        QVERIFY(t.findKey({path(name)}));
        t.edit();
        t.fieldByName(QStringLiteral("印")).setAsString(kMark);
        t.post();
    }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_tree;
};

QTEST_MAIN(TestFileListSimilar)
#include "tst_filelistsimilar.moc"
