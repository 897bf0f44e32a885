#include "base/SettingsStore.h"
#include "disk/DirectoryPanel.h"
#include "disk/FormDirectory.h"
#include "support/MetafileWriter.h"
#include "support/TempSettings.h"
#include "viewing/FormView.h"
#include "viewing/TImage.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <initializer_list>
#include <memory>

using disk::TFormDirectory;
using viewing::TFormView;

namespace {

// A placeable WMF of 64 x 32 pixels (960 x 480 units at 1440 a inch) with one
// rectangle.
QByteArray tinyWmf()
{
    WmfWriter wmf(QRect(0, 0, 960, 480), 1440, 0);
    wmf.record(0x041B, {400, 800, 100, 100}); // Rectangle: bottom, right, top, left
    return wmf.finish();
}

// An EMF of 96 x 48 pixels on a 96 dpi reference device with one rectangle.
QByteArray tinyEmf()
{
    EmfWriter emf(QSize(96, 48));
    emf.record(43, {10, 10, 50, 30}); // Rectangle
    return emf.finish();
}

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

class TestFormDirectory : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listsTheBrowserKindsAtDesignSize();
    void showPictureByExtension_data();
    void showPictureByExtension();
    void loadFailureKeepsThePreview();
    void decodesWholeOnlyWhileTheViewWindowIsShown();
    void deleteReselectsTheSameRow();
    void deletingTheLastFileKeepsThePreview();
    void deleteCommandsAndRegistration();
    void enterInTheFileNameBox();
    void directoryIsStoredAndRestored();

private:
    QString writeImage(const QString& name, QSize size, const char* format, QColor colour = Qt::darkGreen);
    QString writeBytes(const QString& name, const QByteArray& bytes);
    void select(const QString& path);

    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFormView> m_view;
    std::unique_ptr<TFormDirectory> m_form;
};

void TestFormDirectory::init()
{
    m_settings = std::make_unique<TempSettings>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_view = std::make_unique<TFormView>();
    m_form = std::make_unique<TFormDirectory>();
    m_form->setViewWindow(m_view.get());
    QVERIFY(m_form->setDirectory(m_dir->path()));
}

void TestFormDirectory::cleanup()
{
    m_form.reset();
    m_view.reset();
    m_dir.reset();
    m_settings.reset();
}

QString TestFormDirectory::writeImage(const QString& name, QSize size, const char* format, QColor colour)
{
    const QString path = m_dir->filePath(name);
    if (!filled(size, colour).save(path, format))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString TestFormDirectory::writeBytes(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Selects a file in the file list as a click would: once the list shows
// every file of the directory, which the file model reads on a thread of its own.
void TestFormDirectory::select(const QString& path)
{
    const QStringList files = m_form->panel()->files();
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(files.begin(), files.end(),
                                         [this](const QString& f) { return m_form->panel()->listedIndex(f).isValid(); }),
                             30000);
    QVERIFY(m_form->panel()->selectFile(path));
    QCOMPARE(m_form->selectedFile(), path);
}

void TestFormDirectory::listsTheBrowserKindsAtDesignSize()
{
    TFormDirectory& f = *m_form;
    // The long filter texts must not widen the window.
    f.show();
    QCOMPARE(f.size(), QSize(471, 341));

    // The list shows the browser's kinds only, whatever the case of the name.
    writeImage("a.JPG", {8, 8}, "JPEG");
    writeImage("b.gif", {8, 8}, "PNG"); // the name is what counts
    writeImage("c.jpeg", {8, 8}, "JPEG");
    writeBytes("d.emf", tinyEmf());
    QStringList names;
    for (const QString& p : f.panel()->files())
        names << QFileInfo(p).fileName();
    QCOMPARE(names, (QStringList{"a.JPG", "d.emf"}));

    // With a new type ticked, every ticked kind is listed and shown too;
    // the other JPEG names only with the markup search.
    writeImage("e.png", {12, 6}, "PNG");
    viewing::PictureTypes types;
    types.gif = types.png = true;
    f.setPictureTypes(types);
    names.clear();
    for (const QString& p : f.panel()->files())
        names << QFileInfo(p).fileName();
    QCOMPARE(names, (QStringList{"a.JPG", "b.gif", "d.emf", "e.png"}));
    select(m_dir->filePath("e.png"));
    QTRY_COMPARE(f.windowTitle(), QStringLiteral("e.png (12 x 6)"));
    types.markup = true;
    f.setPictureTypes(types);
    QCOMPARE(f.panel()->files().size(), 5);
    f.setPictureTypes({});
    QCOMPARE(f.panel()->files().size(), 2);
}

void TestFormDirectory::showPictureByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");     // the browser's; empty: unchanged
    QTest::addColumn<QString>("viewCaption"); // empty: unchanged
    QTest::addColumn<QSize>("viewPicture");   // invalid: unchanged

    QTest::newRow("jpeg upper-case extension") << "a.JPG" << "JPEG" << "a.JPG (640 x 480)" << "a.JPG (640 x 480)"
                                               << QSize(640, 480);
    QTest::newRow("bitmap") << "b.bmp" << "BMP" << "b.bmp (30 x 20)" << "b.bmp (30 x 20)" << QSize(30, 20);
    QTest::newRow("icon") << "i.ico" << "ICO" << "i.ico" << QString() << QSize();
    QTest::newRow("wmf") << "m.wmf" << "WMF" << "m.wmf" << QString() << QSize(64, 32);
    QTest::newRow("emf upper-case") << "E.EMF" << "EMF" << "E.EMF" << QString() << QSize(96, 48);
    // Not among the shown extensions: nothing happens at all.
    QTest::newRow("jpeg named .jpeg") << "c.jpeg" << "JPEG" << QString() << QString() << QSize();
    QTest::newRow("gif") << "g.gif" << "PNG" << QString() << QString() << QSize();
    QTest::newRow("no extension") << "plain" << "JPEG" << QString() << QString() << QSize();
}

void TestFormDirectory::decodesWholeOnlyWhileTheViewWindowIsShown()
{
    const QString path = writeImage("big.jpg", {2400, 1600}, "JPEG");
    m_form->ShowPicture(path, m_form->Image1);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("big.jpg (2400 x 1600)"));
    QCOMPARE(m_view->Image1->pictureSize(), QSize(2400, 1600));
    QVERIFY(m_form->Image1->picture().image.width() < 2400); // a preview's decode

    m_view->show();
    m_form->ShowPicture(path, m_form->Image1);
    QCOMPARE(m_view->Image1->picture().image.size(), QSize(2400, 1600));
    m_view->hide();
}

void TestFormDirectory::showPictureByExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QString, viewCaption);
    QFETCH(QSize, viewPicture);

    QString path;
    if (kind == "WMF")
        path = writeBytes(name, tinyWmf());
    else if (kind == "EMF")
        path = writeBytes(name, tinyEmf());
    else if (kind == "ICO")
        path = writeImage(name, {32, 32}, "ICO", Qt::red);
    else if (kind == "BMP")
        path = writeImage(name, {30, 20}, "BMP");
    else
        path = writeImage(name, {640, 480}, kind.toLatin1().constData());

    // The view window starts with a picture and caption of its own.
    viewing::Picture before;
    before.image = filled({5, 5}, Qt::blue);
    m_view->setPicture(before);
    m_view->setWindowTitle("View Form");
    const QString browserBefore = m_form->windowTitle();
    QSignalSpy failures(m_form.get(), &TFormDirectory::loadFailed);

    m_form->ShowPicture(path, m_form->Image1);

    QCOMPARE(failures.count(), 0);
    QCOMPARE(m_form->windowTitle(), caption.isEmpty() ? browserBefore : caption);
    QCOMPARE(m_view->windowTitle(), viewCaption.isEmpty() ? QStringLiteral("View Form") : viewCaption);
    QCOMPARE(m_view->Image1->pictureSize(), viewPicture.isValid() ? viewPicture : QSize(5, 5));
    QCOMPARE(m_form->Image1->hasPicture(), !caption.isEmpty());
    // Only an icon changes the browser's own icon.
    const bool iconSet = !m_form->windowIcon().isNull() && m_form->windowIcon().availableSizes().contains(QSize(32, 32));
    QCOMPARE(iconSet, kind == "ICO" && !caption.isEmpty());
    // The browser never shows the view window itself.
    QVERIFY(!m_view->isVisible());

    // Through the file list, as a click on it.
    if (!caption.isEmpty() && kind != "ICO") {
        m_form->setWindowTitle("-");
        m_view->setWindowTitle("View Form");
        m_form->panel()->setMask("*.*");
        select(path);
        QCOMPARE(m_form->windowTitle(), caption);
        QCOMPARE(m_view->windowTitle(), viewCaption.isEmpty() ? QStringLiteral("View Form") : viewCaption);
    }
}

void TestFormDirectory::loadFailureKeepsThePreview()
{
    const QString good = writeImage("good.jpg", {40, 30}, "JPEG");
    const QString bad = writeBytes("bad.jpg", QByteArray("not a picture at all, just text"));
    select(good);
    const qint64 key = m_form->Image1->picture().image.cacheKey();
    QCOMPARE(m_form->windowTitle(), QStringLiteral("good.jpg (40 x 30)"));

    QSignalSpy failures(m_form.get(), &TFormDirectory::loadFailed);
    select(bad);
    QCOMPARE(failures.count(), 1);
    QVERIFY(failures.at(0).at(0).toString().contains(QStringLiteral("bad.jpg")));
    QCOMPARE(m_form->Image1->picture().image.cacheKey(), key);
    QCOMPARE(m_view->Image1->pictureSize(), QSize(40, 30));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("good.jpg (40 x 30)"));
}

void TestFormDirectory::deleteReselectsTheSameRow()
{
    const QString a = writeImage("a.jpg", {10, 10}, "JPEG");
    const QString b = writeImage("b.jpg", {20, 10}, "JPEG");
    const QString c = writeImage("c.jpg", {30, 10}, "JPEG");
    select(b);
    QSignalSpy failures(m_form.get(), &TFormDirectory::loadFailed);
    m_form->DeleteSelectedFile();

    QVERIFY(!QFile::exists(b));
    QCOMPARE(m_form->panel()->files(), (QStringList{a, c}));
    // Row 2 of the list is now c.jpg: selected and shown.
    QCOMPARE(m_form->selectedFile(), c);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("c.jpg (30 x 10)"));
    QCOMPARE(m_form->Image1->pictureSize(), QSize(30, 10));
    QCOMPARE(m_view->windowTitle(), QStringLiteral("c.jpg (30 x 10)"));
    QCOMPARE(failures.count(), 0);
    auto* model = qobject_cast<QFileSystemModel*>(m_form->panel()->FileListBox1->model());
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(m_form->panel()->FileListBox1->rootIndex()), 2, 30000);

    // A file at the row that cannot be shown is passed over without a report.
    const QString d = writeBytes("d.jpg", QByteArray(64, 'x'));
    select(c);
    m_form->DeleteSelectedFile();
    QCOMPARE(m_form->panel()->files(), (QStringList{a, d}));
    QCOMPARE(failures.count(), 0);
    QCOMPARE(m_form->Image1->pictureSize(), QSize(30, 10));
}

void TestFormDirectory::deletingTheLastFileKeepsThePreview()
{
    const QString a = writeImage("a.jpg", {10, 10}, "JPEG");
    const QString b = writeImage("b.jpg", {20, 10}, "JPEG");
    const QString c = writeImage("c.jpg", {30, 10}, "JPEG");
    select(c);
    QSignalSpy failures(m_form.get(), &TFormDirectory::loadFailed);
    m_form->DeleteSelectedFile();

    QVERIFY(!QFile::exists(c));
    QCOMPARE(m_form->panel()->files(), (QStringList{a, b}));
    // The row is gone: nothing is reselected and the deleted picture stays.
    QCOMPARE(failures.count(), 0);
    QCOMPARE(m_form->Image1->pictureSize(), QSize(30, 10));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("c.jpg (30 x 10)"));
    auto* model = qobject_cast<QFileSystemModel*>(m_form->panel()->FileListBox1->model());
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(m_form->panel()->FileListBox1->rootIndex()), 2, 30000);

    // With no file selected at all nothing is deleted.
    m_form->panel()->FileListBox1->setCurrentIndex(QModelIndex());
    m_form->DeleteSelectedFile();
    QCOMPARE(m_form->panel()->files(), (QStringList{a, b}));
}

void TestFormDirectory::deleteCommandsAndRegistration()
{
    const QString a = writeImage("a.jpg", {10, 10}, "JPEG");
    const QString b = writeImage("b.jpg", {20, 10}, "JPEG");
    const QString c = writeImage("c.jpg", {30, 10}, "JPEG");
    const QString d = writeImage("d.jpg", {40, 10}, "JPEG");

    // The menu's and the pop-up's "削除" delete without asking.
    select(a);
    m_form->Delete1->trigger();
    QVERIFY(!QFile::exists(a));
    QCOMPARE(m_form->selectedFile(), b);
    m_form->Delete2->trigger();
    QVERIFY(!QFile::exists(b));
    QCOMPARE(m_form->selectedFile(), c);

    // "登録(&N)" hands the file on and keeps it while the check item is off.
    QStringList handed;
    bool existedWhenHanded = false;
    connect(m_form.get(), &TFormDirectory::registerRequested, this, [&](const QString& path) {
        handed << path;
        existedWhenHanded = QFile::exists(path);
    });
    m_form->Button1->click();
    QCOMPARE(handed, QStringList{c});
    QVERIFY(QFile::exists(c));

    // With the check item on the file still stays when handed on: it goes
    // once its record is written (deleteFile), reselected as "削除" does.
    m_form->MenuFileDelete->trigger();
    QVERIFY(m_form->MenuFileDelete->isChecked());
    m_form->Button1->click();
    QCOMPARE(handed, (QStringList{c, c}));
    QVERIFY(existedWhenHanded);
    QVERIFY(QFile::exists(c));
    m_form->deleteFile(c);
    QVERIFY(!QFile::exists(c));
    QCOMPARE(m_form->selectedFile(), d);
    m_form->MenuFileDelete->trigger();
    QVERIFY(!m_form->MenuFileDelete->isChecked());
}

void TestFormDirectory::enterInTheFileNameBox()
{
    QLineEdit* edit = m_form->panel()->FileEdit;
    const QString sub = m_dir->filePath("sub");
    QVERIFY(QDir().mkpath(sub));
    const QString pic = writeImage("sub/p.bmp", {12, 9}, "BMP");
    writeImage("sub/q.jpg", {12, 9}, "JPEG");
    QSignalSpy returns(edit, &QLineEdit::returnPressed);

    // A directory changes the directory.
    edit->setText(sub);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(QDir(m_form->directory()), QDir(sub));

    // A mask changes the mask.
    edit->setText("*.bmp");
    QTest::keyClick(edit, Qt::Key_Enter);
    QCOMPARE(m_form->panel()->mask(), QStringLiteral("*.bmp"));
    QCOMPARE(m_form->panel()->files(), QStringList{pic});

    // A file name selects the file, which is then shown.
    edit->setText("p.bmp");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(m_form->selectedFile(), pic);
    QTRY_COMPARE(m_form->windowTitle(), QStringLiteral("p.bmp (12 x 9)"));

    // Enter never reaches the box itself; other keys do.
    QCOMPARE(returns.count(), 0);
    edit->clear();
    QTest::keyClicks(edit, "x.j");
    QCOMPARE(edit->text(), QStringLiteral("x.j"));
}

void TestFormDirectory::directoryIsStoredAndRestored()
{
    const QString sub = m_dir->filePath("kept");
    QVERIFY(QDir().mkpath(sub));
    m_form->show();
    QVERIFY(m_form->setDirectory(sub));
    m_form->move(40, 50);
    m_form->resize(500, 360);
    m_form->Close1->trigger();
    QVERIFY(!m_form->isVisible());
    {
        base::SettingsStore s;
        QCOMPARE(QDir(s.readString(base::SettingsStore::Window, "fmDirect.Directory", QString())), QDir(sub));
        QCOMPARE(s.readInteger(base::SettingsStore::Window, "fmDirect.Width", 0), 500);
        QCOMPARE(s.readInteger(base::SettingsStore::Window, "fmDirect.Height", 0), 360);
    }
    {
        TFormDirectory again;
        QCOMPARE(QDir(again.directory()), QDir(sub));
        QCOMPARE(again.size(), QSize(500, 360));
        QCOMPARE(again.pos(), m_form->pos());
    }

    // A stored directory that is gone leaves the list where it starts.
    QVERIFY(QDir(sub).removeRecursively());
    TFormDirectory fresh;
    QCOMPARE(QDir(fresh.directory()), QDir(QDir::currentPath()));
    QCOMPARE(fresh.size(), QSize(500, 360));
}

QTEST_MAIN(TestFormDirectory)
#include "tst_formdirectory.moc"
