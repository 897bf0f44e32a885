#include "controls/ArrCtrl.h"
#include "controls/RetEdit.h"
#include "controls/StdArr.h"
#include "viewing/ExtArr.h"
#include "viewing/TImage.h"

#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

class SubRetEdit : public TRetEdit
{
    Q_OBJECT
};

// Elements of a known size, so that the placing rule can be worked by hand.
class SizedArray : public TArCntrl
{
    Q_OBJECT
public:
    using TArCntrl::TArCntrl;
    QWidget* CreateCntrl(QWidget* owner) override
    {
        auto* w = new QWidget(owner);
        w->resize(40, 20);
        return w;
    }
};

// A form with buttons named like the elements of a button array.
struct ButtonForm
{
    explicit ButtonForm(int n, const QString& name = QStringLiteral("ArButtonKensaku"))
        : array(&form, name)
    {
        for (int i = 1; i <= n; ++i) {
            auto* b = new QPushButton(&form);
            b->setObjectName(name + QStringLiteral("_%1").arg(i));
            b->setGeometry(10, 30 * i, 80, 24);
            buttons << b;
        }
    }
    QWidget form;
    QList<QPushButton*> buttons;
    TArButton array;
};

// Logs "<what> <index>" for each emission of a (sender, index) signal.
template <class A>
void logIndex(QStringList& log, A* array, void (A::*signal)(QObject*, int), const char* what)
{
    QObject::connect(array, signal, array,
                     [&log, what](QObject*, int i) { log << QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(i); });
}

QString mouseText(const char* what, int i, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y)
{
    return QStringLiteral("%1 %2 %3%4 %5,%6")
        .arg(QLatin1String(what))
        .arg(i)
        .arg(b == Qt::RightButton ? "R" : b == Qt::LeftButton ? "L" : "-")
        .arg(m & Qt::ShiftModifier ? "+shift" : "")
        .arg(x)
        .arg(y);
}

} // namespace

class TstArCntrl : public QObject
{
    Q_OBJECT
private slots:
    void clicksMembershipAndIndexes();
    void growingNamesAndPlaces_data();
    void growingNamesAndPlaces();
    void growingSkipsTakenNamesAndShrinkingFreesHighestFirst();
    void arryParentMovesElements();
    void checkClass_data();
    void checkClass();
    void keysChangeAndFocusOfEdits();
    void mouseEventsOfLabels();
    void dragEvents();
    void lateControlsAreBoundByRetries();
};

// The elements' own click handlers are replaced by the forwarder; a control
// bound but never added reaches the handler with -1, a deleted one not at all.
void TstArCntrl::clicksMembershipAndIndexes()
{
    ButtonForm f(4);
    int ownClicks = 0;
    for (int i = 0; i < 4; ++i) {
        connect(f.buttons[i], &QPushButton::clicked, this, [&] { ++ownClicks; });
        QCOMPARE(f.array.Add(f.buttons[i]), i);
    }
    auto* extra = new QPushButton(&f.form);
    QVERIFY(f.array.SetEvents(extra));
    QSignalSpy clicks(&f.array, &TArCntrl::OnClick);
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));

    QTest::mouseClick(f.buttons[2], Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).value<QObject*>(), f.buttons[2]);
    QCOMPARE(clicks.at(0).at(1).toInt(), 2);
    extra->click();
    QCOMPARE(clicks.takeLast().at(1).toInt(), -1);
    QCOMPARE(ownClicks, 0);
    QCOMPARE(f.array.Items(-1), nullptr);
    QCOMPARE(f.array.Items(4), nullptr);
    QCOMPARE(f.array.Items(3), f.buttons[3]);

    // Deleted: out of the array and unbound, but not freed.
    f.array.Delete(1);
    f.array.Delete(3);  // out of range now
    QCOMPARE(f.array.NumOfArry(), 3);
    QCOMPARE(f.array.Items(1), f.buttons[2]);
    QCOMPARE(f.buttons[1]->parent(), &f.form);
    clicks.clear();
    f.buttons[1]->click();
    f.buttons[2]->click();
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(1).toInt(), 1);

    // Destroyed elsewhere: drops out.
    delete f.buttons[0];
    QCOMPARE(f.array.NumOfArry(), 2);
    QCOMPARE(f.array.IndexOf(f.buttons[3]), 1);
}

void TstArCntrl::growingNamesAndPlaces_data()
{
    QTest::addColumn<QSize>("parentSize");
    QTest::addColumn<QPoint>("design");
    QTest::addColumn<QList<QPoint>>("places");
    // Elements are 40 x 20. Start x = left + 15, y = top - 30; each element
    // goes to (x + 15, y + 30), then x += 15, y += 30; y resets to 0 when
    // height < y + 20 + 30, x when width < x + 40 + 15.
    QTest::newRow("large parent") << QSize(800, 600) << QPoint(100, 200)
                                  << QList<QPoint>{{130, 200}, {145, 230}, {160, 260}};
    QTest::newRow("wraps at the bottom") << QSize(400, 100) << QPoint(0, 30)
                                         << QList<QPoint>{{30, 30}, {45, 60}, {60, 30}};
    QTest::newRow("wraps at the right") << QSize(100, 600) << QPoint(0, 30)
                                        << QList<QPoint>{{30, 30}, {45, 60}, {60, 90}, {15, 120}};
}

void TstArCntrl::growingNamesAndPlaces()
{
    QFETCH(QSize, parentSize);
    QFETCH(QPoint, design);
    QFETCH(QList<QPoint>, places);
    QWidget form;
    form.resize(parentSize);
    SizedArray array(&form, QStringLiteral("ArX"));
    array.setDesignPosition(design);
    array.setNumOfArry(int(places.size()));
    QCOMPARE(array.ArryParent(), &form);
    QCOMPARE(array.NumOfArry(), places.size());
    for (int i = 0; i < places.size(); ++i) {
        QWidget* c = array.control(i);
        QCOMPARE(c->objectName(), QStringLiteral("ArX_%1").arg(i + 1));
        QCOMPARE(c->pos(), places[i]);
        QCOMPARE(c->parentWidget(), &form);
    }
    // Growing goes on from the last element, wherever it was moved.
    array.control(int(places.size()) - 1)->move(20, 10);
    array.setNumOfArry(int(places.size()) + 1);
    QCOMPARE(array.control(int(places.size()))->pos(), QPoint(35, 40));
}

void TstArCntrl::growingSkipsTakenNamesAndShrinkingFreesHighestFirst()
{
    QWidget form;
    form.resize(800, 600);
    QPointer<QLabel> taken = new QLabel(&form);
    taken->setObjectName(QStringLiteral("ArLabel_2"));
    TArLabel array(&form, QStringLiteral("ArLabel"));
    array.setNumOfArry(2);
    QCOMPARE(array.Items(0)->objectName(), QStringLiteral("ArLabel_1"));
    QCOMPARE(array.Items(1)->objectName(), QStringLiteral("ArLabel_3"));
    // The third element starts from "_3", taken by the second.
    array.setNumOfArry(4);
    QCOMPARE(array.Items(2)->objectName(), QStringLiteral("ArLabel_4"));
    QCOMPARE(array.Items(3)->objectName(), QStringLiteral("ArLabel_5"));
    QCOMPARE(array.IndexOf(taken), -1);

    QList<int> freed;
    for (int i = 0; i < 4; ++i)
        connect(array.Items(i), &QObject::destroyed, this, [&freed, i] { freed << i; });
    array.setNumOfArry(2);
    QCOMPARE(freed, (QList<int>{3, 2}));
    QCOMPARE(array.NumOfArry(), 2);
    array.setNumOfArry(0);
    QCOMPARE(freed, (QList<int>{3, 2, 1, 0}));
    QVERIFY(taken);  // not an element: left alone
}

void TstArCntrl::arryParentMovesElements()
{
    QWidget form;
    form.resize(800, 600);
    auto* panel = new QWidget(&form);
    QWidget elsewhere;
    auto* foreign = new QLabel(&elsewhere);
    TArLabel array(&form, QStringLiteral("ArLabel"));
    array.setNumOfArry(2);
    array.Add(foreign);
    array.setArryParent(panel);
    QCOMPARE(array.Items(0)->parentWidget(), panel);
    QCOMPARE(array.Items(1)->parentWidget(), panel);
    QCOMPARE(foreign->parentWidget(), &elsewhere);
    array.setArryParent(nullptr);
    QCOMPARE(array.ArryParent(), &form);
    QCOMPARE(array.Items(0)->parentWidget(), &form);
}

void TstArCntrl::checkClass_data()
{
    QTest::addColumn<QString>("arrayClass");
    QTest::addColumn<QString>("controlClass");
    QTest::addColumn<QString>("refusal");  // empty: accepted
    const QString no = QStringLiteral(" オブジェクトは受け入れられません");
    QTest::newRow("edit takes its class") << "TArEdit" << "TRetEdit" << QString();
    QTest::newRow("edit takes a subclass") << "TArEdit" << "SubRetEdit" << QString();
    QTest::newRow("edit takes an ancestor") << "TArEdit" << "QLineEdit" << QString();
    QTest::newRow("edit refuses a label") << "TArEdit" << "QLabel" << "QLabel" + no;
    QTest::newRow("button refuses a sibling button") << "TArButton" << "QToolButton" << "QToolButton" + no;
    QTest::newRow("image takes a plain widget") << "TArImage" << "QWidget" << QString();
    QTest::newRow("image refuses a label") << "TArImage" << "QLabel" << "QLabel" + no;
}

void TstArCntrl::checkClass()
{
    QFETCH(QString, arrayClass);
    QFETCH(QString, controlClass);
    QFETCH(QString, refusal);
    QWidget form;
    TArCntrl* array = arrayClass == "TArEdit"     ? static_cast<TArCntrl*>(new TArEdit(&form, "A"))
                      : arrayClass == "TArButton" ? static_cast<TArCntrl*>(new TArButton(&form, "A"))
                                                  : new viewing::TArImage(&form, "A");
    QWidget* c = controlClass == "TRetEdit"      ? new TRetEdit
                 : controlClass == "SubRetEdit"  ? new SubRetEdit
                 : controlClass == "QLineEdit"   ? new QLineEdit
                 : controlClass == "QLabel"      ? new QLabel
                 : controlClass == "QToolButton" ? new QToolButton
                                                 : new QWidget;
    c->setParent(&form);
    QCOMPARE(array->CheckClass(c), refusal.isEmpty());
    try {
        QCOMPARE(array->Add(c), 0);
        QVERIFY2(refusal.isEmpty(), "refused class was added");
        QCOMPARE(array->control(0), c);
    } catch (const EInvalidOperation& e) {
        QCOMPARE(e.message(), refusal);
        QCOMPARE(array->NumOfArry(), 0);
        QCOMPARE(array->Collection().count(), 0);
    }
    // The typed accessor does not hand out an accepted ancestor as an edit.
    if (controlClass == "QLineEdit")
        QCOMPARE(static_cast<TArEdit*>(array)->Items(0), nullptr);
}

// Key, change and focus events of edits reach the array with the index; a
// handler's key changes what the edit sees, and the edit's own key and change
// handlers are replaced.
void TstArCntrl::keysChangeAndFocusOfEdits()
{
    QWidget form;
    QList<TRetEdit*> edits;
    int ownHandlers = 0;
    TArEdit array(&form, QStringLiteral("ArEditKeyword"));
    for (int i = 0; i < 2; ++i) {
        auto* e = new TRetEdit(&form);
        e->setGeometry(10, 30 * i, 90, 20);
        connect(e, &TRetEdit::keyPress, this, [&] { ++ownHandlers; });
        connect(e, &QLineEdit::textChanged, this, [&] { ++ownHandlers; });
        array.Add(e);
        edits << e;
    }
    QStringList log;
    connect(&array, &TArWinCtrl::OnKeyDown, this, [&](QObject*, int i, int* key, Qt::KeyboardModifiers) {
        if (*key == Qt::Key_X)
            *key = 0;
        log << QStringLiteral("down %1").arg(i);
    });
    connect(&array, &TArWinCtrl::OnKeyPress, this, [&](QObject*, int, QChar* key) {
        if (*key == QLatin1Char('a'))
            *key = QLatin1Char('A');
    });
    logIndex<TArSub1>(log, &array, &TArSub1::OnChange, "change");
    logIndex<TArWinCtrl>(log, &array, &TArWinCtrl::OnEnter, "enter");
    logIndex<TArWinCtrl>(log, &array, &TArWinCtrl::OnExit, "exit");
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    edits[0]->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), edits[0]);
    QTRY_COMPARE(log, QStringList{"enter 0"});

    // Another window taking the activation and giving it back is no exit and
    // enter.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTRY_COMPARE(QApplication::focusWidget(), edits[0]);
    QCOMPARE(log, QStringList{"enter 0"});

    log.clear();
    QTest::keyClicks(edits[0], QStringLiteral("xab"));
    QCOMPARE(edits[0]->text(), QStringLiteral("Ab"));
    QCOMPARE(log, (QStringList{"down 0", "down 0", "change 0", "down 0", "change 0"}));

    // Enter still moves on to the next edit.
    log.clear();
    QTest::keyClick(edits[0], Qt::Key_Return);
    QTRY_COMPARE(QApplication::focusWidget(), edits[1]);
    QCOMPARE(log, (QStringList{"down 0", "exit 0", "enter 1"}));
    QCOMPARE(ownHandlers, 0);
}

void TstArCntrl::mouseEventsOfLabels()
{
    QWidget form;
    TArLabel array(&form, QStringLiteral("ArLabel"));
    array.setNumOfArry(2);
    QLabel* label = array.Items(1);
    label->setGeometry(100, 100, 80, 20);
    QStringList log;
    connect(&array, &TArCntrl::OnMouseDown, this,
            [&](QObject*, int i, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
                log << mouseText("down", i, b, m, x, y);
            });
    connect(&array, &TArCntrl::OnMouseUp, this,
            [&](QObject*, int i, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
                log << mouseText("up", i, b, m, x, y);
            });
    connect(&array, &TArCntrl::OnMouseMove, this, [&](QObject*, int i, Qt::KeyboardModifiers m, int x, int y) {
        log << mouseText("move", i, Qt::NoButton, m, x, y);
    });
    logIndex<TArCntrl>(log, &array, &TArCntrl::OnClick, "click");
    logIndex<TArCntrl>(log, &array, &TArCntrl::OnDblClick, "dbl");
    form.resize(400, 300);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // A label has no clicked signal: a left press and release inside it click.
    QTest::mouseClick(label, Qt::RightButton, Qt::ShiftModifier, QPoint(5, 6));
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(7, 8));
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(120, 5));
    QCOMPARE(log, (QStringList{"down 1 R+shift 5,6", "up 1 R+shift 5,6", "down 1 L 7,8", "click 1", "up 1 L 7,8",
                               "down 1 L 5,5", "up 1 L 120,5"}));

    log.clear();
    QTest::mouseDClick(label, Qt::LeftButton, {}, QPoint(3, 4));
    QVERIFY2(log.contains(QStringLiteral("dbl 1")), qPrintable(log.join('|')));
    QTest::mouseMove(label, QPoint(10, 11));
    QTRY_VERIFY2(log.contains(QStringLiteral("move 1 - 10,11")), qPrintable(log.join('|')));
}

// With an OnDragOver handler, its Accept decides per element; a drop reports
// its place; a drag started from an element reports its start and end.
void TstArCntrl::dragEvents()
{
    QWidget form;
    viewing::TArImage array(&form, QStringLiteral("ArImage"));
    array.setNumOfArry(2);
    QStringList log;
    connect(&array, &TArCntrl::OnDragOver, this, [&](QObject*, int i, QObject*, int x, int y, int state, bool* accept) {
        QVERIFY(*accept);
        *accept = i == 0;
        log << QStringLiteral("over %1 %2 %3,%4").arg(i).arg(state).arg(x).arg(y);
    });
    connect(&array, &TArCntrl::OnDragDrop, this, [&](QObject*, int i, QObject*, int x, int y) {
        log << QStringLiteral("drop %1 %2,%3").arg(i).arg(x).arg(y);
    });
    QMimeData mime;
    for (int i = 0; i < 2; ++i) {
        QDragEnterEvent enter(QPoint(4, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(array.Items(i), &enter);
        QCOMPARE(enter.isAccepted(), i == 0);
    }
    QDropEvent drop(QPointF(6, 7), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(array.Items(0), &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(log, (QStringList{"over 0 0 4,5", "over 1 0 4,5", "drop 0 6,7"}));

    QPointer<QDrag> supplied;
    connect(&array, &TArCntrl::OnStartDrag, this, [&](QObject* s, int i, QObject** dragObject) {
        QCOMPARE(i, 1);
        supplied = new QDrag(s);
        supplied->setMimeData(new QMimeData);
        *dragObject = supplied;
    });
    QSignalSpy ended(&array, &TArCntrl::OnEndDrag);
    array.BeginDrag(array.Items(1));
    QVERIFY(supplied);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(1).toInt(), 1);
}

// Items listed before their controls exist are bound once the controls come,
// and the retries stop after a bounded time when they never do.
void TstArCntrl::lateControlsAreBoundByRetries()
{
    ButtonForm f(2);
    f.array.BeginLoading();
    f.array.Collection().append(f.buttons[0]);
    f.array.Collection().append(nullptr);
    f.array.setNumOfArry(2);
    QCOMPARE(f.form.findChildren<QPushButton*>().size(), 2);  // loading creates nothing
    f.array.Loaded();
    QVERIFY(f.array.Pending());
    QVERIFY(f.array.Collection().at(0).EventSeted);
    QVERIFY(!f.array.Collection().at(1).EventSeted);
    f.array.Collection().setControl(1, f.buttons[1]);
    QTRY_VERIFY(!f.array.Pending());
    QVERIFY(f.array.Collection().at(1).EventSeted);
    QSignalSpy clicks(&f.array, &TArCntrl::OnClick);
    f.buttons[1]->click();
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(1).toInt(), 1);

    TArButton never(&f.form, QStringLiteral("ArNever"));
    never.BeginLoading();
    never.Collection().append(nullptr);
    never.setNumOfArry(1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("ArNever")));
    never.Loaded();
    QTRY_VERIFY_WITH_TIMEOUT(!never.Pending(), 60000);
    QVERIFY(!never.Collection().at(0).EventSeted);
}

QTEST_MAIN(TstArCntrl)
#include "tst_arcntrl.moc"
