#include "controls/ElidedLabel.h"
#include "base/SettingsStore.h"
#include "support/ModalHelper.h"
#include "support/TempSettings.h"
#include "viewing/FormMulti.h"
#include "viewing/FormSetteiMulti.h"
#include "viewing/MultiLayout.h"
#include "viewing/TImage.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace viewing;

namespace {

using Error = MultiLayoutResult::Error;

QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode a test picture as %s", format);
    return bytes;
}

QByteArray jpegOf(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return encode(image, "JPEG");
}

// Where cell i stands by the rule: left (i mod columns) x (S + R), top
// (i div columns) x (S + T).
QRect cellAt(int i, int columns, int s, int r, int t)
{
    return QRect((i % columns) * (s + r), (i / columns) * (s + t), s + r, s);
}

MultiSettings settingsOf(int s, int r, const QString& rows, const QString& columns, bool titles, int t)
{
    MultiSettings m;
    m.size = s;
    m.hiritsu = r;
    m.rows = rows;
    m.columns = columns;
    m.titles = titles;
    m.titleHeight = t;
    return m;
}

} // namespace

class TestMultiView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_settings = std::make_unique<TempSettings>();
        createWindows();
    }
    void cleanup()
    {
        m_multi.reset();
        m_setteiWindow.reset();
        m_settings.reset();
    }

    void layout_data();
    void layout();
    void settingsWindowLaysOutTheCells();
    void refusedLayoutKeepsThePreviousOne_data();
    void refusedLayoutKeepsThePreviousOne();
    void labelsFollowTheScrollBars();
    void settingsAreRemembered();
    void menuShowsSettingsAndCloses();
    void fillShowsPicturesAndCaptions();
    void fillStopsAtAnUnreadablePicture();
    void fillAtOwnSizeShowsTheTopLeftCorner();

private:
    void createWindows()
    {
        m_setteiWindow = std::make_unique<TFormSetteiMulti>();
        m_multi = std::make_unique<TFormMulti>();
        m_multi->setSettingsWindow(m_setteiWindow.get());
    }
    TFormSetteiMulti& settei() { return *m_setteiWindow; }
    template <class T>
    T* control(QWidget* window, const char* name)
    {
        T* c = window->findChild<T*>(QLatin1String(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    TImage* picture(int i) { return control<TImage>(m_multi.get(), qPrintable(QStringLiteral("ArImage1_%1").arg(i + 1))); }
    QLabel* caption(int i) { return control<QLabel>(m_multi.get(), qPrintable(QStringLiteral("ArLabel1_%1").arg(i + 1))); }
    void setGrid(const QString& rows, const QString& columns)
    {
        control<QLineEdit>(&settei(), "EditGyou")->setText(rows);
        control<QLineEdit>(&settei(), "EditRetsu")->setText(columns);
    }
    void clickRedisplay() { control<QPushButton>(&settei(), "Button1")->click(); }

    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<TFormSetteiMulti> m_setteiWindow;
    std::unique_ptr<TFormMulti> m_multi;
};

// Every cell against the rule; columns 0 stands for a column count of 0 or
// less, where each cell, the first too, opens a row of its own at left 0.
void TestMultiView::layout_data()
{
    QTest::addColumn<MultiSettings>("settings");
    QTest::addColumn<int>("columns");

    QTest::newRow("defaults 6 x 10") << settingsOf(100, 0, "6", "10", true, 20) << 10;
    QTest::newRow("1 x 60 is one row") << settingsOf(100, 0, "1", "60", true, 20) << 60;
    // Rows only limit the product: 2 x 5 still places all sixty, 12 rows of 5.
    QTest::newRow("rows limit nothing") << settingsOf(50, 10, "2", "5", true, 10) << 5;
    QTest::newRow("columns 0") << settingsOf(100, 0, "6", "0", true, 20) << 0;
    QTest::newRow("columns negative") << settingsOf(100, 0, "-6", "-10", true, 20) << 0;
    QTest::newRow("captions off") << settingsOf(100, 0, "6", "10", false, 30) << 10;
    QTest::newRow("R negative") << settingsOf(100, -40, "6", "10", true, 20) << 10;
    QTest::newRow("R -100 gives width 0") << settingsOf(100, -100, "6", "10", true, 20) << 10;
}

void TestMultiView::layout()
{
    QFETCH(MultiSettings, settings);
    QFETCH(int, columns);
    const MultiLayoutResult r = computeMultiLayout(settings);
    QCOMPARE(r.error, Error::None);
    QCOMPARE(r.rects.captionsVisible, settings.titles);
    const int s = settings.size, w = settings.size + settings.hiritsu;
    const int t = settings.titles ? settings.titleHeight : 0;
    for (int i = 0; i < kMultiCells; ++i) {
        const QRect picture = columns > 0 ? cellAt(i, columns, s, settings.hiritsu, t)
                                          : QRect(0, (i + 1) * (s + t), w, s);
        QCOMPARE(r.rects.pictures[size_t(i)], picture);
        QCOMPARE(r.rects.captions[size_t(i)], QRect(picture.x(), picture.y() + s, w, t));
    }
    if (QTest::currentDataTag() == QLatin1String("defaults 6 x 10")) {
        QCOMPARE(r.rects.pictures[10], QRect(0, 120, 100, 100));
        QCOMPARE(r.rects.pictures[59], QRect(900, 600, 100, 100));
        QCOMPARE(r.rects.captions[59], QRect(900, 700, 100, 20));
    }
}

void TestMultiView::settingsWindowLaysOutTheCells()
{
    m_multi->show();
    control<QScrollBar>(&settei(), "ScrollSize")->setValue(80);
    control<QScrollBar>(&settei(), "ScrollHiritsu")->setValue(20);
    control<QScrollBar>(&settei(), "ScrollTitle")->setValue(15);
    setGrid("3", "4");
    clickRedisplay();
    for (int i : {0, 3, 4, 59}) {
        const QRect cell = cellAt(i, 4, 80, 20, 15);
        QCOMPARE(picture(i)->geometry(), cell);
        QCOMPARE(caption(i)->geometry(), QRect(cell.left(), cell.top() + 80, 100, 15));
        QVERIFY(caption(i)->isVisible());
    }
}

void TestMultiView::refusedLayoutKeepsThePreviousOne_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("columns");
    QTest::addColumn<Error>("error");
    QTest::addColumn<QString>("message");

    const QString tooMany = QStringLiteral("イメージの最大表示個数は ６０ です");
    QTest::newRow("7 x 9 = 63") << "7" << "9" << Error::TooManyCells << tooMany;
    QTest::newRow("two negatives") << "-1" << "-61" << Error::TooManyCells << tooMany;
    // 2^16 x 2^16 is 0 in 32 bits.
    QTest::newRow("product past 32 bits") << "65536" << "65536" << Error::TooManyCells << tooMany;
    QTest::newRow("rows not a number") << "6行" << "10" << Error::NotANumber
                                       << QStringLiteral("'6行' は正しい整数値ではありません");
    QTest::newRow("columns empty") << "6" << "" << Error::NotANumber
                                   << QStringLiteral("'' は正しい整数値ではありません");
}

void TestMultiView::refusedLayoutKeepsThePreviousOne()
{
    QFETCH(QString, rows);
    QFETCH(QString, columns);
    QFETCH(Error, error);
    QFETCH(QString, message);
    QCOMPARE(computeMultiLayout(settingsOf(100, 0, rows, columns, true, 20)).error, error);

    m_multi->show();
    setGrid("1", "60");
    clickRedisplay();
    QCOMPARE(picture(11)->geometry(), QRect(1100, 0, 100, 100));

    setGrid(rows, columns);
    control<QScrollBar>(&settei(), "ScrollSize")->setValue(50);
    QMessageBox::Icon shown = QMessageBox::NoIcon;
    ModalAnswer answer([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            shown = box->icon();
        pressButton(modal, QMessageBox::Ok);
    });
    clickRedisplay();
    QVERIFY(answer.wasShown());
    QCOMPARE(answer.text(), message);
    QCOMPARE(shown, error == Error::TooManyCells ? QMessageBox::Information : QMessageBox::Critical);
    QCOMPARE(picture(11)->geometry(), QRect(1100, 0, 100, 100));
    QCOMPARE(caption(11)->geometry(), QRect(1100, 100, 100, 20));
}

void TestMultiView::labelsFollowTheScrollBars()
{
    struct Bar {
        const char* bar;
        const char* label;
        int min, max, design;
    };
    for (const Bar& b : {Bar{"ScrollSize", "LabelSize", 0, 400, 100}, Bar{"ScrollHiritsu", "LabelHiritsu", -100, 100, 0},
                         Bar{"ScrollTitle", "LabelTitle", 0, 80, 20}}) {
        auto* bar = control<QScrollBar>(&settei(), b.bar);
        auto* label = control<QLabel>(&settei(), b.label);
        QCOMPARE(label->text(), QString::number(b.design));
        bar->setValue(b.min - 50);
        QCOMPARE(label->text(), QString::number(b.min));
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(label->text(), QString::number(b.min + 1));
        bar->setValue(b.max + 50);
        QCOMPARE(label->text(), QString::number(b.max));
    }
}

// The caption switch and the band height are kept apart: captions off with
// T 30 come back as off and 30, and the first show lays the cells out by them.
void TestMultiView::settingsAreRemembered()
{
    settei().show();
    control<QScrollBar>(&settei(), "ScrollSize")->setValue(150);
    control<QScrollBar>(&settei(), "ScrollHiritsu")->setValue(-30);
    control<QScrollBar>(&settei(), "ScrollTitle")->setValue(30);
    control<QCheckBox>(&settei(), "CheckTitle")->setChecked(false);
    setGrid("4", "5");
    control<QPushButton>(&settei(), "BitBtnShuuryou")->click();
    QTRY_VERIFY(!settei().isVisible());
    {
        base::SettingsStore s;
        QCOMPARE(s.readString(base::SettingsStore::Setting, QStringLiteral("fmSetteiMulti"), {}), QStringLiteral("7"));
        QCOMPARE(s.readString(base::SettingsStore::Setting, QStringLiteral("fmSetteiMulti.Title"), {}),
                 QStringLiteral("30"));
        QCOMPARE(s.readInteger(base::SettingsStore::Window, QStringLiteral("fmSetteiMulti.Width"), -1),
                 settei().width());
    }

    m_multi.reset();
    m_setteiWindow.reset();
    createWindows();
    QCOMPARE(control<QScrollBar>(&settei(), "ScrollSize")->value(), 150);
    QCOMPARE(control<QScrollBar>(&settei(), "ScrollHiritsu")->value(), -30);
    QCOMPARE(control<QScrollBar>(&settei(), "ScrollTitle")->value(), 30);
    QCOMPARE(control<QLabel>(&settei(), "LabelTitle")->text(), QStringLiteral("30"));
    QVERIFY(!control<QCheckBox>(&settei(), "CheckTitle")->isChecked());
    QCOMPARE(control<QLineEdit>(&settei(), "EditGyou")->text(), QStringLiteral("4"));
    QCOMPARE(control<QLineEdit>(&settei(), "EditRetsu")->text(), QStringLiteral("5"));
    m_multi->show();
    QCOMPARE(picture(7)->geometry(), cellAt(7, 5, 150, -30, 0));
    QVERIFY(!caption(7)->isVisible());
}

void TestMultiView::menuShowsSettingsAndCloses()
{
    m_multi->show();
    QVERIFY(!settei().isVisible());
    m_multi->findChild<QAction*>(QStringLiteral("S1"))->trigger();
    QTRY_VERIFY(settei().isVisible());
    QVERIFY(!settei().isModal());
    m_multi->findChild<QAction*>(QStringLiteral("C1"))->trigger();
    QTRY_VERIFY(!m_multi->isVisible());
    base::SettingsStore s;
    QCOMPARE(s.readInteger(base::SettingsStore::Window, QStringLiteral("fmMulti.Height"), -1), m_multi->height());
}

void TestMultiView::fillShowsPicturesAndCaptions()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("index-mode.png"));
    QImage onDisk(40, 30, QImage::Format_RGB32);
    onDisk.fill(Qt::green);
    QVERIFY(onDisk.save(path));

    // The fourth has its picture still to come: its caption shows alone.
    const QByteArray later = jpegOf({200, 150}, Qt::yellow);
    const QList<MultiCell> cells{{jpegOf({640, 480}, Qt::red), {}, QStringLiteral("a 1")},
                                 {jpegOf({300, 400}, Qt::blue), {}, QStringLiteral("b 2")},
                                 {{}, path, QStringLiteral("c 3")},
                                 {{}, {}, QStringLiteral("d 4")}};
    QString error;
    QCOMPARE(m_multi->Fill(cells, true, &error), 4);
    QCOMPARE(error, QString());
    const QList<QSize> sizes{{640, 480}, {300, 400}, {40, 30}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(picture(i)->pictureSize(), sizes[i]);
        QVERIFY(picture(i)->stretch());
        QCOMPARE(caption(i)->text(), cells[i].caption);
    }
    QVERIFY(!picture(4)->hasPicture());
    QCOMPARE(m_multi->caption(0)->shownText(), QStringLiteral("a 1"));
    QVERIFY(m_multi->caption(0)->toolTip().isEmpty());
    // Decoded no larger than needed to cover the 100 x 100 cell.
    QVERIFY(picture(0)->picture().image.width() < 640);

    QVERIFY(m_multi->setCellPicture(3, later, true));
    QCOMPARE(picture(3)->pictureSize(), QSize(200, 150));
    QCOMPARE(caption(3)->text(), QStringLiteral("d 4"));
    // A caption wider than its cell ends in "…" and is whole in its tooltip.
    const QString wide = QStringLiteral("海と空の写真 ") + QString(40, u'長');
    m_multi->caption(2)->setCaption(wide);
    const QString shown = m_multi->caption(2)->shownText();
    QVERIFY2(shown.endsWith(u'…') && wide.startsWith(shown.chopped(1)), qPrintable(shown));
    QVERIFY(m_multi->caption(2)->fontMetrics().horizontalAdvance(shown) <= 100);
    QCOMPARE(m_multi->caption(2)->text(), wide);
    QCOMPARE(m_multi->caption(2)->toolTip(), wide);
    QVERIFY(!m_multi->setCellPicture(2, "not a picture", true, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(picture(2)->pictureSize(), QSize(40, 30));
    QVERIFY(!m_multi->setCellPicture(kMultiCells, later, true));
}

// Of 75 pictures the first sixty fill the cells; a fill that stops at an
// unreadable picture, or is shorter, empties the cells after its last one.
void TestMultiView::fillStopsAtAnUnreadablePicture()
{
    QList<MultiCell> cells;
    for (int i = 0; i < 75; ++i)
        cells.append({jpegOf({16 + i, 16}, Qt::gray), {}, QString::number(i)});
    QCOMPARE(m_multi->Fill(cells, true), kMultiCells);
    QCOMPARE(picture(59)->pictureSize(), QSize(16 + 59, 16));
    QCOMPARE(caption(59)->text(), QStringLiteral("59"));

    cells[2].bytes.chop(cells[2].bytes.size() / 2); // a cut file
    cells[3].bytes = "not a picture";
    QString error;
    QCOMPARE(m_multi->Fill(cells, true, &error), 2);
    QVERIFY(!error.isEmpty());
    QCOMPARE(caption(1)->text(), QStringLiteral("1"));
    QVERIFY(picture(1)->hasPicture());
    for (int i = 2; i < kMultiCells; ++i) {
        QVERIFY2(!picture(i)->hasPicture(), qPrintable(QString::number(i)));
        QCOMPARE(caption(i)->text(), QString());
    }

    // A missing file in index mode is reported the same way.
    cells[0] = {{}, QStringLiteral("/nonexistent/picture.jpg"), QStringLiteral("x")};
    error.clear();
    QCOMPARE(m_multi->Fill(cells, true, &error), 0);
    QVERIFY(!error.isEmpty());
    QVERIFY(!picture(0)->hasPicture());
}

void TestMultiView::fillAtOwnSizeShowsTheTopLeftCorner()
{
    // Red in a 50 x 50 corner of a 400 x 300 picture: at its own size the
    // 100 x 100 cell shows red at (30, 30) and blue at (70, 70); scaled
    // down, both would be blue.
    QImage source(400, 300, QImage::Format_RGB32);
    source.fill(Qt::blue);
    QPainter(&source).fillRect(0, 0, 50, 50, Qt::red);
    const QList<MultiCell> cell{{encode(source, "PNG"), {}, {}}};

    QCOMPARE(m_multi->Fill(cell, false), 1);
    QImage shown = picture(0)->grab().toImage();
    QCOMPARE(shown.size(), QSize(100, 100));
    QCOMPARE(QColor(shown.pixel(30, 30)), QColor(Qt::red));
    QCOMPARE(QColor(shown.pixel(70, 70)), QColor(Qt::blue));

    QCOMPARE(m_multi->Fill(cell, true), 1);
    shown = picture(0)->grab().toImage();
    QCOMPARE(QColor(shown.pixel(30, 30)), QColor(Qt::blue));
    QCOMPARE(QColor(shown.pixel(5, 5)), QColor(Qt::red));
}

QTEST_MAIN(TestMultiView)
#include "tst_multiview.moc"
