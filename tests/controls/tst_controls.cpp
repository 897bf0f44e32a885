#include "controls/Animate.h"
#include "controls/AviFile.h"
#include "controls/MsgBtn.h"
#include "controls/RetEdit.h"
#include "support/ModalHelper.h"

#include "HelpDocument.h"
#include "HelpViewer.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtEndian>

namespace {

const QString kBinDir = QStringLiteral(QUILLON_BIN_DIR);

QByteArray jpegOf(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

// Three frames of a 60 x 35 clip; the second has an odd length so that the
// writer's pad byte is exercised.
AviClip sampleClip()
{
    AviClip clip;
    clip.size = QSize(60, 35);
    clip.usPerFrame = 100'000;
    clip.frames = {jpegOf(clip.size, Qt::red), jpegOf(clip.size, Qt::green), jpegOf(clip.size, Qt::blue)};
    if (clip.frames[1].size() % 2 == 0)
        clip.frames[1].append('\0');  // bytes after the end marker are ignored by decoders
    return clip;
}

// Offset of the payload of the first chunk with this id.
qsizetype payloadOf(const QByteArray& avi, const char* id)
{
    const qsizetype at = avi.indexOf(QByteArray(id, 4));
    return at < 0 ? -1 : at + 8;
}

void poke32(QByteArray& data, qsizetype at, quint32 value)
{
    qToLittleEndian(value, data.data() + at);
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Writes a clip with ffmpeg, an AVI writer other than ours, and returns its
// bytes. The test scripts install ffmpeg; without it the test fails.
QByteArray ffmpegClip(const QString& path, const QStringList& arguments, QString* error)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        *error = QStringLiteral("ffmpeg not found (scripts/test.sh installs it)");
        return {};
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ffmpeg, QStringList{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                                      QStringLiteral("-y")}
                              + arguments + QStringList{path});
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QStringLiteral("ffmpeg %1 failed: %2")
                     .arg(arguments.join(u' '), QString::fromLocal8Bit(process.readAll()));
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        *error = QStringLiteral("ffmpeg wrote no %1").arg(path);
    return file.readAll();
}

// A dialog with a default button, as the forms that hold these controls are.
struct EditDialog
{
    QDialog dialog;
    TRetEdit* first = new TRetEdit(&dialog);
    QLineEdit* second = new QLineEdit(&dialog);
    QLineEdit* third = new QLineEdit(&dialog);
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), &dialog);

    EditDialog()
    {
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(first);
        layout->addWidget(second);
        layout->addWidget(third);
        layout->addWidget(ok);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        // Tab order differs from the order of creation on purpose.
        QWidget::setTabOrder(first, third);
        QWidget::setTabOrder(third, second);
        QWidget::setTabOrder(second, ok);
    }
};

using AnswerSignal = void (TMsgBitBtn::*)(TMsgBitBtn*);
const std::pair<const char*, AnswerSignal> kAnswerSignals[] = {
    {"okClick", &TMsgBitBtn::okClick},         {"cancelClick", &TMsgBitBtn::cancelClick},
    {"abortClick", &TMsgBitBtn::abortClick},   {"retryClick", &TMsgBitBtn::retryClick},
    {"ignoreClick", &TMsgBitBtn::ignoreClick}, {"yesClick", &TMsgBitBtn::yesClick},
    {"noClick", &TMsgBitBtn::noClick},         {"allClick", &TMsgBitBtn::allClick},
};

}  // namespace

class TstControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // TMsgBitBtn
    void msgBtnEmptyMessageIsPlainButton();
    void msgBtnAnswerDispatch_data();
    void msgBtnAnswerDispatch();
    void msgBtnEscapeAndCloseCancel_data();
    void msgBtnEscapeAndCloseCancel();
    void msgBtnBoxShowsMessageKindAndButtons_data();
    void msgBtnBoxShowsMessageKindAndButtons();

    // TRetEdit
    void retEditEnterKey_data();
    void retEditEnterKey();
    void retEditOtherKeysEditAsUsual();

    // AVI reader and writer
    void aviRoundTrip();
    void aviRejectsMalformed_data();
    void aviRejectsMalformed();
    void aviReadsClipsOfAnotherWriter_data();
    void aviReadsClipsOfAnotherWriter();
    void aviSizeLimit();
    void aviMutationsStayBounded();

    // TAnimate
    void animatePlaysShippedClip();
    void animateOpenFailures_data();
    void animateOpenFailures();

    // Help viewer
    void helpDocumentSectionsAndSearch();
    void helpShippedFileHasSections();
    void helpWindowShowsSections();
    void helpFinderDoubleClickChoosesSection();
    void helpViewerProcessStarts_data();
    void helpViewerProcessStarts();
    void helpViewerReportsMissingFile();

    // Modal helper
    void modalAnswerTimesOutWithoutModal();
};

void TstControls::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Quillon"));
}

// ---------------------------------------------------------------- TMsgBitBtn

void TstControls::msgBtnEmptyMessageIsPlainButton()
{
    TMsgBitBtn button(QStringLiteral("削除"));
    QCOMPARE(button.displayMsg(), QString());
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QStringList answers;
    for (const auto& [name, signal] : kAnswerSignals)
        connect(&button, signal, this, [&answers, name = name](TMsgBitBtn*) { answers << name; });

    // Would answer OK to any box that appeared during the click.
    ModalAnswer modal([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    button.click();

    QVERIFY(!modal.wasShown());
    QCOMPARE(button.answer(), 0);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(answers, QStringList());
}

void TstControls::msgBtnAnswerDispatch_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("handler");
    // A second click, answered otherwise.
    QTest::addColumn<int>("pressAgain");
    QTest::addColumn<int>("answerAgain");
    QTest::addColumn<QString>("handlerAgain");

    const int okCancel = TMsgBitBtn::OK | TMsgBitBtn::Cancel;
    const int yesNo = TMsgBitBtn::Yes | TMsgBitBtn::No;
    const int ari = TMsgBitBtn::Abort | TMsgBitBtn::Retry | TMsgBitBtn::Ignore;
    const int ok = QMessageBox::Ok, cancel = QMessageBox::Cancel, abort = QMessageBox::Abort;
    const int retry = QMessageBox::Retry, ignore = QMessageBox::Ignore, yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    QTest::newRow("OK by mouse") << okCancel << ok << "mouse" << 1 << "okClick" << cancel << 2 << "cancelClick";
    QTest::newRow("OK by space key") << okCancel << ok << "space" << 1 << "okClick" << cancel << 2 << "cancelClick";
    QTest::newRow("OK by click()") << okCancel << ok << "click" << 1 << "okClick" << cancel << 2 << "cancelClick";
    QTest::newRow("Cancel") << okCancel << cancel << "mouse" << 2 << "cancelClick" << ok << 1 << "okClick";
    QTest::newRow("Abort") << ari << abort << "mouse" << 3 << "abortClick" << retry << 4 << "retryClick";
    QTest::newRow("Retry") << ari << retry << "mouse" << 4 << "retryClick" << ignore << 5 << "ignoreClick";
    QTest::newRow("Ignore") << ari << ignore << "mouse" << 5 << "ignoreClick" << abort << 3 << "abortClick";
    QTest::newRow("Yes") << yesNo << yes << "mouse" << 6 << "yesClick" << no << 7 << "noClick";
    QTest::newRow("No") << yesNo << no << "mouse" << 7 << "noClick" << yes << 6 << "yesClick";
    QTest::newRow("All") << (yesNo | TMsgBitBtn::All) << int(QMessageBox::YesToAll) << "mouse" << 8
                         << "allClick" << no << 7 << "noClick";
    QTest::newRow("Help answers nothing") << (okCancel | TMsgBitBtn::Help) << int(QMessageBox::Help)
                                          << "mouse" << 0 << "" << ok << 1 << "okClick";
}

// The box comes first, then the ordinary click, then the handler of the
// answer, and only that one; each click once, with its own answer. Emptying
// the message makes the next click a plain one.
void TstControls::msgBtnAnswerDispatch()
{
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(QString, handler);
    QFETCH(int, pressAgain);
    QFETCH(int, answerAgain);
    QFETCH(QString, handlerAgain);

    TMsgBitBtn button(QStringLiteral("DB削除"));
    button.setDisplayMsg(QStringLiteral("データベース削除 ＯＫ？"));
    button.setVisibleButtons(TMsgBitBtn::MsgDlgButtons(buttons));

    QStringList events;
    connect(&button, &QAbstractButton::clicked, this, [&] { events << QStringLiteral("click"); });
    for (const auto& [name, signal] : kAnswerSignals) {
        connect(&button, signal, this, [&events, &button, name = QString::fromLatin1(name)](TMsgBitBtn* sender) {
            events << (sender == &button ? name : name + QStringLiteral(" from another sender"));
        });
    }
    auto answerWith = [&events](int standardButton) {
        return [&events, standardButton](QWidget* w) {
            events << QStringLiteral("box");
            pressButton(w, QMessageBox::StandardButton(standardButton));
        };
    };

    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    {
        ModalAnswer modal(answerWith(press));
        if (how == QLatin1String("mouse")) {
            QTest::mouseClick(&button, Qt::LeftButton);
        } else if (how == QLatin1String("space")) {
            button.setFocus();
            QTest::keyClick(&button, Qt::Key_Space);
        } else {
            button.click();
        }
        QVERIFY(modal.wasShown());
    }
    QCOMPARE(button.answer(), answer);
    QStringList expected{QStringLiteral("box"), QStringLiteral("click")};
    if (!handler.isEmpty())
        expected << handler;
    QCOMPARE(events, expected);

    {
        ModalAnswer modal(answerWith(pressAgain));
        button.click();
        QVERIFY(modal.wasShown());
    }
    QCOMPARE(button.answer(), answerAgain);
    expected << QStringLiteral("box") << QStringLiteral("click") << handlerAgain;
    QCOMPARE(events, expected);

    button.setDisplayMsg(QString());
    button.click();
    QCOMPARE(button.answer(), 0);
    expected << QStringLiteral("click");
    QCOMPARE(events, expected);
}

void TstControls::msgBtnEscapeAndCloseCancel_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Esc") << true;
    QTest::newRow("window close") << false;
}

void TstControls::msgBtnEscapeAndCloseCancel()
{
    QFETCH(bool, byEscape);
    TMsgBitBtn button(QStringLiteral("削除(&D)"));
    button.setDisplayMsg(QStringLiteral("レコード削除 ＯＫ？"));
    QSignalSpy ok(&button, &TMsgBitBtn::okClick);
    QSignalSpy cancel(&button, &TMsgBitBtn::cancelClick);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);

    ModalAnswer modal([byEscape](QWidget* w) {
        if (byEscape)
            QTest::keyClick(w, Qt::Key_Escape);
        else
            w->close();
    });
    button.click();

    QVERIFY(modal.wasShown());
    QCOMPARE(button.answer(), 2);
    QCOMPARE(ok.count(), 0);
    QCOMPARE(cancel.count(), 1);
    QCOMPARE(cancel.first().first().value<TMsgBitBtn*>(), &button);
    QCOMPARE(clicked.count(), 1);
}

void TstControls::msgBtnBoxShowsMessageKindAndButtons_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("offered");

    QTest::newRow("default: confirmation, OK and Cancel")
        << -1 << -1 << int(QMessageBox::Question) << int(QMessageBox::Ok | QMessageBox::Cancel);
    QTest::newRow("warning, Yes No") << int(TMsgBitBtn::Warning) << int(TMsgBitBtn::Yes | TMsgBitBtn::No)
                                     << int(QMessageBox::Warning) << int(QMessageBox::Yes | QMessageBox::No);
    QTest::newRow("error, Abort Retry Ignore")
        << int(TMsgBitBtn::Error) << int(TMsgBitBtn::Abort | TMsgBitBtn::Retry | TMsgBitBtn::Ignore)
        << int(QMessageBox::Critical) << int(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    QTest::newRow("information, OK") << int(TMsgBitBtn::Information) << int(TMsgBitBtn::OK)
                                     << int(QMessageBox::Information) << int(QMessageBox::Ok);
    QTest::newRow("custom, all nine")
        << int(TMsgBitBtn::Custom) << 0x1FF << int(QMessageBox::NoIcon)
        << int(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Abort
               | QMessageBox::Retry | QMessageBox::Ignore | QMessageBox::YesToAll | QMessageBox::Help);
}

void TstControls::msgBtnBoxShowsMessageKindAndButtons()
{
    QFETCH(int, type);
    QFETCH(int, buttons);
    QFETCH(int, icon);
    QFETCH(int, offered);

    TMsgBitBtn button;
    // Set through the property names, as forms and arrays bind them.
    QVERIFY(button.setProperty("DisplayMsg", QStringLiteral("ファイル削除ＯＫ？")));
    if (type >= 0)
        QVERIFY(button.setProperty("MsgDlgType", QVariant::fromValue(TMsgBitBtn::MsgDlgType(type))));
    if (buttons >= 0)
        QVERIFY(button.setProperty("VisibleButtons",
                                   QVariant::fromValue(TMsgBitBtn::MsgDlgButtons(buttons))));
    QCOMPARE(button.property("HelpCtx").toInt(), 0);

    int seenIcon = -1;
    QMessageBox::StandardButtons seenButtons;
    ModalAnswer modal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box)
            seenIcon = box->icon();
        seenButtons = messageBoxButtons(w);
        QTest::keyClick(w, Qt::Key_Escape);
        if (w->isVisible())
            qobject_cast<QDialog*>(w)->reject();
    });
    button.click();

    QVERIFY(modal.wasShown());
    QCOMPARE(modal.className(), QStringLiteral("QMessageBox"));
    QCOMPARE(modal.text(), QStringLiteral("ファイル削除ＯＫ？"));
    QCOMPARE(modal.title(), QStringLiteral("Quillon"));
    QCOMPARE(seenIcon, icon);
    QCOMPARE(int(seenButtons), offered);
}

// ------------------------------------------------------------------ TRetEdit

void TstControls::retEditEnterKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("returnNext");
    QTest::newRow("Return moves on") << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter moves on") << int(Qt::Key_Enter) << true;
    QTest::newRow("ReturnNext off: a plain edit's Return") << int(Qt::Key_Return) << false;
}

// The form's handler sees the key while the edit still has the focus. With
// ReturnNext (on by default) the focus then moves to the next control in tab
// order and the key goes no further; without it Return is a plain edit's and
// reaches the dialog's default button.
void TstControls::retEditEnterKey()
{
    QFETCH(int, key);
    QFETCH(bool, returnNext);
    EditDialog d;
    QVERIFY(d.first->returnNext());
    QVERIFY(d.first->setProperty("ReturnNext", returnNext));
    QCOMPARE(d.first->returnNext(), returnNext);
    // The default button only counts, so that the dialog stays open unless
    // something else closes it.
    QObject::disconnect(d.ok, nullptr, &d.dialog, nullptr);
    d.first->setText(QStringLiteral("猫"));
    QSignalSpy returnPressed(d.first, &QLineEdit::returnPressed);
    QSignalSpy okClicked(d.ok, &QPushButton::clicked);
    QWidget* focusWhenSeen = nullptr;
    QList<int> seenKeys;
    connect(d.first, &TRetEdit::keyPress, this, [&](TRetEdit* sender, QKeyEvent* event) {
        QCOMPARE(sender, d.first);
        seenKeys << event->key();
        focusWhenSeen = QApplication::focusWidget();
    });

    d.dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&d.dialog));
    d.first->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), d.first);

    QTest::keyClick(d.first, Qt::Key(key));

    QCOMPARE(seenKeys, QList<int>{key});
    QCOMPARE(focusWhenSeen, d.first);
    // Next in tab order is the third edit, not the one created next.
    QCOMPARE(QApplication::focusWidget(), returnNext ? d.third : d.first);
    QCOMPARE(returnPressed.count(), returnNext ? 0 : 1);
    QCOMPARE(okClicked.count(), returnNext ? 0 : 1);
    QVERIFY(d.dialog.isVisible());
    QCOMPARE(d.dialog.result(), int(QDialog::Rejected));
    QCOMPARE(d.first->text(), QStringLiteral("猫"));
}

void TstControls::retEditOtherKeysEditAsUsual()
{
    EditDialog d;
    QStringList seen;
    connect(d.first, &TRetEdit::keyPress, this,
            [&](TRetEdit*, QKeyEvent* event) { seen << event->text(); });
    d.dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&d.dialog));
    d.first->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), d.first);

    QTest::keyClicks(d.first, QStringLiteral("ab"));
    QTest::keyClick(d.first, Qt::Key_Backspace);
    QTest::keyClick(d.first, Qt::Key_C);

    QCOMPARE(d.first->text(), QStringLiteral("ac"));
    QCOMPARE(seen.size(), 4);
    QCOMPARE(seen.first(), QStringLiteral("a"));
    QCOMPARE(QApplication::focusWidget(), d.first);
}

// ------------------------------------------------------------------------ AVI

void TstControls::aviRoundTrip()
{
    const AviClip clip = sampleClip();
    const QByteArray avi = writeAvi(clip);
    QVERIFY(avi.startsWith("RIFF"));
    QCOMPARE(qFromLittleEndian<quint32>(avi.constData() + 4), quint32(avi.size() - 8));

    const std::optional<AviClip> back = readAvi(avi);
    QVERIFY(back.has_value());
    QCOMPARE(back->size, clip.size);
    QCOMPARE(back->usPerFrame, clip.usPerFrame);
    QCOMPARE(back->frames, clip.frames);
}

void TstControls::aviRejectsMalformed_data()
{
    QTest::addColumn<QByteArray>("data");

    const QByteArray good = writeAvi(sampleClip());
    const qsizetype avih = payloadOf(good, "avih");
    const qsizetype strf = payloadOf(good, "strf");
    const qsizetype frame = payloadOf(good, "00dc");
    const qsizetype movi = good.indexOf("movi");
    QVERIFY(avih > 0 && strf > 0 && frame > 0 && movi > 0);
    auto patched = [&](qsizetype at, quint32 value) {
        QByteArray d = good;
        poke32(d, at, value);
        return d;
    };

    QTest::newRow("zero bytes") << QByteArray();
    QTest::newRow("RIFF header only") << good.left(12);
    QByteArray random(4096, Qt::Uninitialized);
    QRandomGenerator rng(4097);
    for (char& c : random)
        c = char(rng.bounded(256));
    QTest::newRow("random bytes") << random;
    QTest::newRow("random bytes after a RIFF AVI header") << (good.left(12) + random);
    QTest::newRow("not an AVI") << (QByteArray(good).replace(8, 4, "WAVE"));
    QTest::newRow("RIFF size past the end") << patched(4, quint32(good.size()));
    QTest::newRow("frame chunk size past the end") << patched(frame - 4, 0x7FFFFFF0u);
    QTest::newRow("frame chunk past its list") << patched(frame - 4, quint32(good.size() - frame - 8));
    QTest::newRow("absurd frame count") << patched(avih + 16, 0x7FFFFFFFu);
    QTest::newRow("frame count one too many") << patched(avih + 16, 4);
    QTest::newRow("frame count one too few") << patched(avih + 16, 2);
    QTest::newRow("zero frame count") << patched(avih + 16, 0);
    QTest::newRow("zero width") << patched(avih + 32, 0);
    QTest::newRow("absurd width") << patched(avih + 32, 100000);
    QTest::newRow("absurd height") << patched(avih + 36, 0xFFFFFFFFu);
    QTest::newRow("zero frame period") << patched(avih, 0);
    QTest::newRow("absurd frame period") << patched(avih, 0xFFFFFFFFu);
    QTest::newRow("not MJPEG") << (QByteArray(good).replace(strf + 16, 4, "RGB "));
    QTest::newRow("frame is not JPEG") << (QByteArray(good).replace(frame, 2, "XX"));
    QTest::newRow("no movie list") << (QByteArray(good).replace(movi, 4, "junk"));
    QByteArray moviFirst = good;
    moviFirst.replace(moviFirst.indexOf("hdrl"), 4, "movi");
    QTest::newRow("frames before the header") << moviFirst;
}

void TstControls::aviRejectsMalformed()
{
    QFETCH(QByteArray, data);
    QVERIFY(!readAvi(data).has_value());
}

// Clips that ffmpeg writes: MJPEG ones read as made, frame by frame, in the
// reader and in the player; a clip of another codec is refused cleanly. An
// empty size marks a refusal.
void TstControls::aviReadsClipsOfAnotherWriter_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("usPerFrame");
    QTest::addColumn<int>("frames");
    const QStringList test{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=64x48:rate=5"), QStringLiteral("-frames:v"),
                           QStringLiteral("3")};
    QTest::newRow("MJPEG, 3 frames of 64 x 48 at 5 a second")
        << test + QStringList{QStringLiteral("-c:v"), QStringLiteral("mjpeg")} << QSize(64, 48) << 200'000 << 3;
    // The sound is the second stream: its chunks lie between the frames.
    QTest::newRow("MJPEG, 7 frames of 63 x 47 at 25 a second, with sound")
        << QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc=size=63x47:rate=25"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                       QStringLiteral("-i"), QStringLiteral("sine=sample_rate=8000"), QStringLiteral("-frames:v"),
                       QStringLiteral("7"), QStringLiteral("-t"), QStringLiteral("1"), QStringLiteral("-c:v"),
                       QStringLiteral("mjpeg"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}
        << QSize(63, 47) << 40'000 << 7;
    QTest::newRow("uncompressed BGR")
        << test + QStringList{QStringLiteral("-c:v"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                              QStringLiteral("bgr24")}
        << QSize() << 0 << 0;
}

void TstControls::aviReadsClipsOfAnotherWriter()
{
    QFETCH(QStringList, arguments);
    QFETCH(QSize, size);
    QFETCH(int, usPerFrame);
    QFETCH(int, frames);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("clip.avi"));
    QString error;
    const QByteArray bytes = ffmpegClip(path, arguments, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const std::optional<AviClip> clip = readAvi(bytes);
    TAnimate animate;
    if (size.isEmpty()) {
        QVERIFY(!clip.has_value());
        QVERIFY(!animate.open(path));
        return;
    }
    QVERIFY(clip.has_value());
    QCOMPARE(clip->size, size);
    QCOMPARE(clip->usPerFrame, usPerFrame);
    QCOMPARE(clip->frames.size(), frames);
    // Each frame is a picture of its own (the test pattern moves).
    QImage previous;
    for (const QByteArray& frame : clip->frames) {
        const QImage image = QImage::fromData(frame, "JPEG");
        QCOMPARE(image.size(), size);
        QVERIFY(image != previous);
        previous = image;
    }
    QVERIFY(animate.open(path));
    QCOMPARE(animate.frameCount(), frames);
    QCOMPARE(animate.frameSize(), size);
    QCOMPARE(animate.currentImage().size(), size);
}

void TstControls::aviSizeLimit()
{
    // Padding chunks are allowed; what decides is the file's size.
    auto padded = [](qint64 totalBytes) {
        QByteArray avi = writeAvi(sampleClip());
        const qint64 junk = totalBytes - avi.size() - 8;
        QByteArray chunk("JUNK", 4);
        chunk.resize(8);
        qToLittleEndian(quint32(junk), chunk.data() + 4);
        avi += chunk + QByteArray(junk, '\0');
        qToLittleEndian(quint32(avi.size() - 8), avi.data() + 4);
        return avi;
    };
    const QByteArray atLimit = padded(kMaxAviFileBytes);
    QCOMPARE(atLimit.size(), kMaxAviFileBytes);
    QVERIFY(readAvi(atLimit).has_value());
    QVERIFY(!readAvi(padded(kMaxAviFileBytes + 2)).has_value());
}

// Corrupted clips either fail or give frames that lie inside the input.
void TstControls::aviMutationsStayBounded()
{
    const QByteArray good = writeAvi(sampleClip());
    QRandomGenerator rng(20240601);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray data = good;
        const int flips = 1 + int(rng.bounded(4));
        for (int i = 0; i < flips; ++i)
            data[qsizetype(rng.bounded(quint32(data.size())))] = char(rng.bounded(256));
        const std::optional<AviClip> clip = readAvi(data);
        if (!clip)
            continue;
        ++accepted;
        qint64 bytes = 0;
        for (const QByteArray& f : clip->frames) {
            QVERIFY(f.startsWith("\xFF\xD8"));
            bytes += f.size();
        }
        QVERIFY(!clip->frames.isEmpty());
        QVERIFY(bytes <= data.size());
        QVERIFY(clip->size.width() >= 1 && clip->size.width() <= kMaxAviFrameEdge);
        QVERIFY(clip->size.height() >= 1 && clip->size.height() <= kMaxAviFrameEdge);
    }
    // Most single-byte changes land in frame data, which the reader passes on.
    QVERIFY(accepted > 0);
}

// ------------------------------------------------------------------ TAnimate

void TstControls::animatePlaysShippedClip()
{
    TAnimate animate;
    QCOMPARE(animate.size(), QSize(60, 35));
    QVERIFY(!animate.isOpen());
    animate.play();
    QVERIFY(!animate.active());

    QVERIFY(animate.open(kBinDir + QStringLiteral("/cool.avi")));
    QVERIFY(animate.isOpen());
    QVERIFY(animate.frameCount() > 1);
    QCOMPARE(animate.frameSize(), QSize(60, 35));
    QCOMPARE(animate.currentImage().size(), QSize(60, 35));
    QCOMPARE(animate.currentFrame(), 0);

    animate.show();
    QSignalSpy frames(&animate, &TAnimate::frameChanged);
    const QImage first = animate.currentImage();
    animate.play();
    QVERIFY(animate.active());
    QTRY_VERIFY(frames.count() >= 2);
    QCOMPARE(frames.at(0).at(0).toInt(), 1);
    QCOMPARE(frames.at(1).at(0).toInt(), 2);
    QVERIFY(animate.currentImage() != first);

    animate.stop();
    QVERIFY(!animate.active());
}

void TstControls::animateOpenFailures_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: no file at all

    AviClip notJpeg = sampleClip();
    notJpeg.frames[1] = QByteArray("\xFF\xD8\xFF\xE0") + QByteArray("this is not a picture");
    AviClip wrongSize = sampleClip();
    wrongSize.frames[2] = jpegOf(QSize(600, 350), Qt::black);

    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("not a clip") << QByteArray("RIFF\x04\0\0\0WAVE", 12);
    QTest::newRow("frame that does not decode") << writeAvi(notJpeg);
    QTest::newRow("frame larger than the clip") << writeAvi(wrongSize);
}

void TstControls::animateOpenFailures()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cool.avi"));
    if (!content.isEmpty())
        QVERIFY(writeFile(path, content));

    TAnimate animate;
    QVERIFY(animate.open(kBinDir + QStringLiteral("/cool.avi")));
    animate.play();
    QVERIFY(animate.active());

    // A failed open leaves the player closed and idle.
    QVERIFY(!animate.open(path));
    QVERIFY(!animate.isOpen());
    QVERIFY(!animate.active());
    QCOMPARE(animate.frameCount(), 0);
    animate.play();
    QVERIFY(!animate.active());
}

// --------------------------------------------------------------- Help viewer

void TstControls::helpDocumentSectionsAndSearch()
{
    HelpDocument doc;
    doc.setHtml(QStringLiteral(
        "<html><head><title>テスト ヘルプ</title></head><body>"
        "<p>見出しの前の文 Picture</p>"
        "<h1>画像の探索</h1><p>Web から画像を集めます。</p><p>JPEG を探します。</p>"
        "<h2>探索速度</h2><p>同時に六つまで picture を取得します。</p>"
        "<h1>検索</h1><p>キーワードでレコードを探します。</p>"
        "</body></html>"));

    QCOMPARE(doc.title(), QStringLiteral("テスト ヘルプ"));
    const auto& sections = doc.sections();
    QCOMPARE(sections.size(), 3);
    QCOMPARE(sections.at(0).title, QStringLiteral("画像の探索"));
    QCOMPARE(sections.at(0).level, 1);
    QCOMPARE(sections.at(1).title, QStringLiteral("探索速度"));
    QCOMPARE(sections.at(1).level, 2);
    QCOMPARE(sections.at(2).level, 1);
    QVERIFY(sections.at(0).position < sections.at(1).position);
    QVERIFY(sections.at(1).position < sections.at(2).position);

    auto sectionsOf = [&](const QString& key) {
        QList<int> found;
        for (const HelpDocument::Hit& h : doc.search(key))
            found << h.section;
        return found;
    };
    QCOMPARE(sectionsOf(QString()), (QList<int>{0, 1, 2}));
    QCOMPARE(sectionsOf(QStringLiteral("  ")), (QList<int>{0, 1, 2}));
    // Headings and text alike; one topic per section even with two matching passages.
    QCOMPARE(sectionsOf(QStringLiteral("探")), (QList<int>{0, 1, 2}));
    QCOMPARE(sectionsOf(QStringLiteral("レコード")), (QList<int>{2}));
    // Case does not matter; text before the first heading is no topic.
    QCOMPARE(sectionsOf(QStringLiteral("PICTURE")), (QList<int>{1}));
    QCOMPARE(sectionsOf(QStringLiteral("jpeg")), (QList<int>{0}));
    QCOMPARE(sectionsOf(QStringLiteral("存在しない語")), QList<int>());

    const QList<HelpDocument::Hit> hits = doc.search(QStringLiteral("レコード"));
    QVERIFY(hits.first().text.startsWith(QStringLiteral("検索")));
    QVERIFY(hits.first().text.contains(QStringLiteral("レコード")));
}

void TstControls::helpShippedFileHasSections()
{
    HelpDocument doc;
    QVERIFY(doc.load(kBinDir + QStringLiteral("/quillon.HLP")));
    QVERIFY(doc.sections().size() >= 6);
    QVERIFY(!doc.search(QStringLiteral("データベース")).isEmpty());
    QVERIFY(!doc.load(kBinDir + QStringLiteral("/no-such-file.HLP")));
}

void TstControls::helpWindowShowsSections()
{
    HelpDocument doc;
    doc.setHtml(QStringLiteral("<h1>一</h1><p>a</p><h2>一の一</h2><p>b</p><h2>一の二</h2><p>c</p><h1>二</h1><p>d</p>"));
    HelpWindow window(doc);
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillon ヘルプ"));
    auto* contents = window.findChild<QTreeWidget*>(QStringLiteral("Contents"));
    QVERIFY(contents);
    QCOMPARE(contents->topLevelItemCount(), 2);
    QCOMPARE(contents->topLevelItem(0)->childCount(), 2);
    QCOMPARE(contents->topLevelItem(0)->child(1)->text(0), QStringLiteral("一の二"));

    window.show();
    QVERIFY(window.showSection(3));
    QCOMPARE(window.currentSection(), 3);
    QVERIFY(window.showSection(2));
    QCOMPARE(window.currentSection(), 2);
    QCOMPARE(contents->currentItem()->text(0), QStringLiteral("一の二"));
    QVERIFY(!window.showSection(4));
    QVERIFY(!window.showSection(-1));
    QCOMPARE(window.currentSection(), 2);

    // Choosing in the contents moves the text.
    const QTreeWidgetItem* target = contents->topLevelItem(0)->child(0);
    QTest::mouseClick(contents->viewport(), Qt::LeftButton, {}, contents->visualItemRect(target).center());
    QCOMPARE(window.currentSection(), 1);
}

void TstControls::helpFinderDoubleClickChoosesSection()
{
    HelpDocument doc;
    doc.setHtml(QStringLiteral("<h1>はじめに</h1><p>概要</p><h1>検索</h1><p>キーワード</p><h1>設定</h1><p>プロキシとキーワード</p>"));
    HelpFinder finder(doc);
    QSignalSpy chosen(&finder, &HelpFinder::sectionChosen);
    auto* keyword = finder.findChild<QLineEdit*>(QStringLiteral("EditKeyword"));
    auto* topics = finder.findChild<QListWidget*>(QStringLiteral("ListTopics"));
    QVERIFY(keyword && topics);
    finder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&finder));
    QCOMPARE(topics->count(), 3);

    keyword->setText(QStringLiteral("キーワード"));
    QCOMPARE(topics->count(), 2);
    QVERIFY(topics->item(1)->text().startsWith(QStringLiteral("設定")));
    const QPoint at = topics->visualItemRect(topics->item(1)).center();
    QTest::mouseClick(topics->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(chosen.count(), 0);
    QTest::mouseDClick(topics->viewport(), Qt::LeftButton, {}, at);

    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toInt(), 2);
    QCOMPARE(finder.result(), int(QDialog::Accepted));
    QVERIFY(!finder.isVisible());
}

void TstControls::helpViewerProcessStarts_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString help = kBinDir + QStringLiteral("/quillon.HLP");
    QTest::newRow("contents") << QStringList{help};
    QTest::newRow("keyword dialog") << QStringList{QStringLiteral("-k"), help};
}

namespace {
void startViewer(QProcess& viewer, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    viewer.setProcessEnvironment(env);
    viewer.start(kBinDir + QStringLiteral("/Winhelp"), arguments);
}
}  // namespace

// The viewer is started as the help menu starts it and keeps running with its
// window until it is ended.
void TstControls::helpViewerProcessStarts()
{
    QFETCH(QStringList, arguments);
    QProcess viewer;
    startViewer(viewer, arguments);
    QVERIFY2(viewer.waitForStarted(), qPrintable(viewer.errorString()));
    // It says when its file is open; an exit before or at that point is a
    // failure to start.
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += viewer.readAllStandardOutput()).contains("Winhelp: opened ")
                                 || viewer.state() == QProcess::NotRunning,
                             60000);
    QVERIFY2(viewer.state() == QProcess::Running,
             qPrintable(QStringLiteral("exited with %1: %2")
                            .arg(viewer.exitCode())
                            .arg(QString::fromLocal8Bit(viewer.readAllStandardError()))));
    viewer.kill();
    QVERIFY(viewer.waitForFinished());
    const QString errors = QString::fromLocal8Bit(viewer.readAllStandardError());
    QVERIFY2(!errors.contains(QStringLiteral("cannot open")), qPrintable(errors));
    QVERIFY2(!errors.contains(QStringLiteral("fatal"), Qt::CaseInsensitive), qPrintable(errors));
}

// A help file that is not there is reported (and the viewer waits on its
// message box rather than showing an empty window).
void TstControls::helpViewerReportsMissingFile()
{
    QProcess viewer;
    startViewer(viewer, {kBinDir + QStringLiteral("/no-such-file.HLP")});
    QVERIFY(viewer.waitForStarted());
    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT((errors += viewer.readAllStandardError()).contains("cannot open"), 60000);
    viewer.kill();
    QVERIFY(viewer.waitForFinished());
}

// -------------------------------------------------------------- Modal helper

void TstControls::modalAnswerTimesOutWithoutModal()
{
    bool ran = false;
    ModalAnswer modal([&](QWidget*) { ran = true; }, 50);
    QTRY_VERIFY(modal.timedOut());
    QVERIFY(!modal.wasShown());
    QVERIFY(!ran);
}

QTEST_MAIN(TstControls)
#include "tst_controls.moc"
