#include "base/SettingsStore.h"
#include "support/TempSettings.h"
#include "viewing/FormView.h"
#include "viewing/PictureLoader.h"
#include "viewing/TImage.h"
#include "viewing/ViewWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using viewing::TFormView;
using viewing::Picture;
using viewing::ShowInViewWindow;
using viewing::ViewMode;

namespace {

QList<TFormView*> viewWindows()
{
    QList<TFormView*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* v = qobject_cast<TFormView*>(w))
            out << v;
    }
    return out;
}

int storedInteger(const QString& name)
{
    base::SettingsStore s;
    return s.readInteger(base::SettingsStore::Window, name, -1);
}

} // namespace

class TestViewWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init()
    {
        m_settings = std::make_unique<TempSettings>();
        TFormView::setNewWindowSize(QSize());
        m_owner = std::make_unique<QWidget>();
        m_shared = new TFormView(m_owner.get());
    }
    void cleanup()
    {
        m_owner.reset();
        m_settings.reset();
        TFormView::setNewWindowSize(QSize());
    }

    void captionAndSize_data();
    void captionAndSize();
    void singleReusesTheSharedWindow();
    void multipleOpensAWindowPerCall();
    void showingLeavesMaximisedAndMinimised();
    void recordedSizeWinsOverStoredSize();
    void closingStoresBoundsAndNewWindowsReadThem();
    void stretchFollowsTheCheckBox();

private:
    Picture jpeg(QSize size, QSize box = {})
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = m_dir.filePath(QStringLiteral("p%1x%2.jpg").arg(size.width()).arg(size.height()));
        if (!image.save(path, "JPEG"))
            qFatal("cannot write %s", qPrintable(path));
        std::optional<Picture> picture = viewing::loadPicture(path, box);
        if (!picture)
            qFatal("cannot load %s", qPrintable(path));
        return *picture;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<QWidget> m_owner;
    TFormView* m_shared = nullptr;
};

void TestViewWindow::captionAndSize_data()
{
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("decodeBox");
    QTest::addColumn<QString>("caption");

    QTest::newRow("single 640x480") << false << QSize(640, 480) << QSize() << "a.JPG (640 x 480)";
    QTest::newRow("multiple 640x480") << true << QSize(640, 480) << QSize() << "a.JPG (640 x 480)";
    // A picture decoded smaller for a box still shows and sizes by its true size.
    QTest::newRow("decoded at 1/4") << false << QSize(640, 480) << QSize(150, 110) << "a.JPG (640 x 480)";
    // Smaller than the bottom panel's controls: the window still follows the picture.
    QTest::newRow("tiny") << true << QSize(16, 12) << QSize() << "a.JPG (16 x 12)";
}

void TestViewWindow::captionAndSize()
{
    QFETCH(bool, multiple);
    QFETCH(QSize, size);
    QFETCH(QSize, decodeBox);
    QFETCH(QString, caption);

    const Picture picture = jpeg(size, decodeBox);
    if (decodeBox.isValid())
        QVERIFY(picture.image.width() < size.width());
    TFormView* v = ShowInViewWindow(multiple ? ViewMode::Multiple : ViewMode::Single, m_shared, m_owner.get(),
                                    picture, QStringLiteral("a.JPG"));
    QVERIFY(v);
    QCOMPARE(v == m_shared, !multiple);
    QCOMPARE(v->windowTitle(), caption);
    QVERIFY(v->isVisible());
    QCOMPARE(v->size(), QSize(size.width() + 10, size.height() + 64));
    QCOMPARE(v->PanelTail->height(), 34);
    QCOMPARE(v->Panel1->size(), size);
    QCOMPARE(v->scrollRange(), size);
    QCOMPARE(v->Image1->pictureSize(), size);
    // The window holds its own copy: the caller's picture may go.
    QCOMPARE(v->Image1->picture().image.cacheKey(), picture.image.cacheKey());
    QCOMPARE(TFormView::newWindowSize(), QSize(size.width() + 10, size.height() + 44));
}

void TestViewWindow::singleReusesTheSharedWindow()
{
    const int before = viewWindows().size();
    TFormView* first = ShowInViewWindow(ViewMode::Single, m_shared, m_owner.get(), jpeg({64, 48}), "x");
    TFormView* second = ShowInViewWindow(ViewMode::Single, m_shared, m_owner.get(), jpeg({40, 30}), "y");
    QCOMPARE(first, m_shared);
    QCOMPARE(second, m_shared);
    QCOMPARE(viewWindows().size(), before);
    QCOMPARE(m_shared->windowTitle(), QStringLiteral("y (40 x 30)"));
    QCOMPARE(m_shared->Image1->pictureSize(), QSize(40, 30));
    QCOMPARE(m_shared->size(), QSize(50, 94));

    // Without a shared window the single mode has nothing to show in.
    QCOMPARE(ShowInViewWindow(ViewMode::Single, nullptr, m_owner.get(), jpeg({64, 48}), "z"), nullptr);
    QCOMPARE(viewWindows().size(), before);
}

void TestViewWindow::multipleOpensAWindowPerCall()
{
    const int before = viewWindows().size();
    QPointer<TFormView> a = ShowInViewWindow(ViewMode::Multiple, m_shared, m_owner.get(), jpeg({64, 48}), "a");
    QPointer<TFormView> b = ShowInViewWindow(ViewMode::Multiple, m_shared, m_owner.get(), jpeg({40, 30}), "b");
    QVERIFY(a && b);
    QVERIFY(a != b);
    QVERIFY(a != m_shared && b != m_shared);
    QCOMPARE(viewWindows().size(), before + 2);
    QCOMPARE(a->parentWidget(), m_owner.get());
    QCOMPARE(a->windowTitle(), QStringLiteral("a (64 x 48)"));
    QCOMPARE(b->windowTitle(), QStringLiteral("b (40 x 30)"));
    QVERIFY(!m_shared->isVisible());

    // "閉じる(&C)" on an extra window: it clears its mark and goes away.
    QVERIFY(a->CheckVisible->isChecked());
    QVERIFY(a->CheckVisible->isHidden());
    a->BitBtn1->click();
    QTRY_VERIFY(a.isNull());
    QVERIFY(b);
    QCOMPARE(viewWindows().size(), before + 1);

    // The shared window is only hidden by its button.
    ShowInViewWindow(ViewMode::Single, m_shared, m_owner.get(), jpeg({64, 48}), "s");
    m_shared->BitBtn1->click();
    QVERIFY(!m_shared->isVisible());
    QVERIFY(!m_shared->CheckVisible->isChecked());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(viewWindows().contains(m_shared));
}

void TestViewWindow::showingLeavesMaximisedAndMinimised()
{
    for (Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        m_shared->setWindowState(state);
        m_shared->show();
        TFormView* v = ShowInViewWindow(ViewMode::Single, m_shared, m_owner.get(), jpeg({64, 48}), "n");
        QVERIFY(!(v->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)));
        QVERIFY(v->isVisible());
        QCOMPARE(v->size(), QSize(74, 112));
        v->hide();
    }
}

void TestViewWindow::recordedSizeWinsOverStoredSize()
{
    {
        base::SettingsStore s;
        s.writeInteger(base::SettingsStore::Window, "fmView.Left", 120);
        s.writeInteger(base::SettingsStore::Window, "fmView.Top", 90);
        s.writeInteger(base::SettingsStore::Window, "fmView.Width", 500);
        s.writeInteger(base::SettingsStore::Window, "fmView.Height", 400);
    }
    // Nothing recorded yet: the stored bounds.
    {
        TFormView v;
        QCOMPARE(v.pos(), QPoint(120, 90));
        QCOMPARE(v.size(), QSize(500, 400));
    }
    // Once a picture was shown, windows created later take the picture's size
    // (the stored place stays).
    ShowInViewWindow(ViewMode::Single, m_shared, m_owner.get(), jpeg({200, 100}), "r");
    {
        TFormView v;
        QCOMPARE(v.pos(), QPoint(120, 90));
        QCOMPARE(v.size(), QSize(210, 144));
    }
}

void TestViewWindow::closingStoresBoundsAndNewWindowsReadThem()
{
    // Nothing stored: the design size.
    {
        TFormView v;
        v.show();
        QCOMPARE(v.size(), QSize(365, 281));
    }
    m_shared->show();
    m_shared->move(33, 44);
    m_shared->resize(300, 222);
    m_shared->BitBtn1->click();
    QCOMPARE(storedInteger("fmView.Left"), m_shared->x());
    QCOMPARE(storedInteger("fmView.Top"), m_shared->y());
    QCOMPARE(storedInteger("fmView.Width"), 300);
    QCOMPARE(storedInteger("fmView.Height"), 222);

    TFormView again;
    QCOMPARE(again.pos(), m_shared->pos());
    QCOMPARE(again.size(), QSize(300, 222));
}

void TestViewWindow::stretchFollowsTheCheckBox()
{
    TFormView* v = ShowInViewWindow(ViewMode::Single, m_shared, m_owner.get(), jpeg({64, 48}), "s");
    QVERIFY(!v->CheckStretch->isChecked());
    QVERIFY(!v->Image1->stretch());
    v->resize(400, 300);
    QTRY_COMPARE(v->scrollArea()->viewport()->size(), QSize(400, 266));

    v->CheckStretch->click();
    QVERIFY(v->Image1->stretch());
    QTRY_COMPARE(v->Image1->size(), QSize(400, 266));

    // Off again: the picture's own size, from the top left.
    v->CheckStretch->click();
    QVERIFY(!v->Image1->stretch());
    QTRY_COMPARE(v->Image1->size(), QSize(64, 48));
    QCOMPARE(v->Image1->pos(), QPoint(0, 0));

    // A picture larger than the window can be scrolled through.
    v->setPicture(jpeg({900, 700}));
    QTRY_COMPARE(v->Panel1->size(), QSize(900, 700));
    QVERIFY(v->scrollArea()->horizontalScrollBar()->maximum() > 0);
    QVERIFY(v->scrollArea()->verticalScrollBar()->maximum() > 0);
}

QTEST_MAIN(TestViewWindow)
#include "tst_viewwindow.moc"
