#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

// Answers the next modal window of a test, the way a person would.
//
// Arm a ModalAnswer before the call that opens the modal window (exec()). From
// a timer it waits for QApplication::activeModalWidget() to become a window
// other than the one that was modal when it was armed, then runs the action
// once on it. The action must close the window (press a button, reject()),
// or the modal call never returns. After the modal call has returned, check
// wasShown(): false means no modal window appeared within the timeout. The
// helper stops looking at the timeout; a modal window that comes later is
// left alone (and blocks the test until its watchdog ends it).
//
//     ModalAnswer answer([](QWidget* w) {
//         pressButton(qobject_cast<QMessageBox*>(w), QMessageBox::Ok);
//     });
//     QTest::mouseClick(deleteButton, Qt::LeftButton);
//     QVERIFY(answer.wasShown());
//     QCOMPARE(answer.text(), QString("ファイル削除ＯＫ？"));
//
// One helper answers one window. For a chain of modal windows arm the next
// helper inside the action of the previous one, or one after another.
class ModalAnswer
{
public:
    using Action = std::function<void(QWidget* modal)>;

    explicit ModalAnswer(Action action, int timeoutMs = 5000);
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    // A modal window appeared and the action ran on it.
    bool wasShown() const { return m_shown; }
    // The timeout passed without a modal window.
    bool timedOut() const { return m_timedOut; }
    // What the window showed when it appeared: the message box's text and
    // window title, and the class of the window.
    QString text() const { return m_text; }
    QString title() const { return m_title; }
    QString className() const { return m_className; }

private:
    void poll();

    Action m_action;
    QTimer m_timer;
    int m_remainingPolls = 0;
    QPointer<QWidget> m_before;
    bool m_shown = false;
    bool m_timedOut = false;
    QString m_text;
    QString m_title;
    QString m_className;
};

// The text of a message box (empty for any other window).
QString messageBoxText(QWidget* modal);

// The standard buttons a message box offers (none for any other window).
QMessageBox::StandardButtons messageBoxButtons(QWidget* modal);

// Clicks the given button of a message box. When the box lacks that button
// (or the window is not a message box) the test fails and the window is
// rejected so that the modal call returns.
void pressButton(QWidget* modal, QMessageBox::StandardButton button);
