#include "support/ModalHelper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>

namespace {
constexpr int kPollMs = 10;
}

ModalAnswer::ModalAnswer(Action action, int timeoutMs)
    : m_action(std::move(action))
    , m_remainingPolls(qMax(1, timeoutMs / kPollMs))
    , m_before(QApplication::activeModalWidget())
{
    m_timer.setInterval(kPollMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start();
}

ModalAnswer::~ModalAnswer()
{
    m_timer.stop();
}

void ModalAnswer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != m_before && modal->isVisible()) {
        m_timer.stop();
        m_shown = true;
        m_text = messageBoxText(modal);
        m_title = modal->windowTitle();
        m_className = QString::fromLatin1(modal->metaObject()->className());
        if (m_action)
            m_action(modal);
        return;
    }
    if (--m_remainingPolls <= 0) {
        m_timer.stop();
        m_timedOut = true;
    }
}

QString messageBoxText(QWidget* modal)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    return box ? box->text() : QString();
}

QMessageBox::StandardButtons messageBoxButtons(QWidget* modal)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    return box ? box->standardButtons() : QMessageBox::StandardButtons();
}

void pressButton(QWidget* modal, QMessageBox::StandardButton button)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    QAbstractButton* target = box ? box->button(button) : nullptr;
    if (target) {
        target->click();
        return;
    }
    QTest::qFail(box ? "the message box has no such button" : "the modal window is not a message box",
                 __FILE__, __LINE__);
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else if (modal)
        modal->close();
}
