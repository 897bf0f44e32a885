#include "controls/MsgBtn.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace {

struct ButtonMap
{
    TMsgBitBtn::MsgDlgButton ours;
    QMessageBox::StandardButton box;
    int answer;
};

// Order of the buttons as offered; the answer codes are the box's results.
constexpr ButtonMap kButtons[] = {
    {TMsgBitBtn::Yes, QMessageBox::Yes, TMsgBitBtn::AnswerYes},
    {TMsgBitBtn::No, QMessageBox::No, TMsgBitBtn::AnswerNo},
    {TMsgBitBtn::OK, QMessageBox::Ok, TMsgBitBtn::AnswerOK},
    {TMsgBitBtn::Cancel, QMessageBox::Cancel, TMsgBitBtn::AnswerCancel},
    {TMsgBitBtn::Abort, QMessageBox::Abort, TMsgBitBtn::AnswerAbort},
    {TMsgBitBtn::Retry, QMessageBox::Retry, TMsgBitBtn::AnswerRetry},
    {TMsgBitBtn::Ignore, QMessageBox::Ignore, TMsgBitBtn::AnswerIgnore},
    {TMsgBitBtn::All, QMessageBox::YesToAll, TMsgBitBtn::AnswerAll},
    {TMsgBitBtn::Help, QMessageBox::Help, TMsgBitBtn::AnswerNone},
};

QMessageBox::Icon iconOf(TMsgBitBtn::MsgDlgType type)
{
    switch (type) {
    case TMsgBitBtn::Warning:
        return QMessageBox::Warning;
    case TMsgBitBtn::Error:
        return QMessageBox::Critical;
    case TMsgBitBtn::Information:
        return QMessageBox::Information;
    case TMsgBitBtn::Confirmation:
        return QMessageBox::Question;
    case TMsgBitBtn::Custom:
        break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

TMsgBitBtn::TMsgBitBtn(QWidget* parent)
    : QPushButton(parent)
{
}

TMsgBitBtn::TMsgBitBtn(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
}

// Every click path (mouse, keyboard, click()) calls nextCheckState just before
// it emits clicked(), so the question is asked here, ahead of the form's own
// click handlers.
void TMsgBitBtn::nextCheckState()
{
    QPointer<TMsgBitBtn> self(this);
    const int answer = askQuestion();
    if (!self)
        return;
    m_answer = answer;
    QPushButton::nextCheckState();
    // Connected last, so it runs after every click handler connected before;
    // single shot, so it belongs to this click only.
    disconnect(m_pendingDispatch);
    m_pendingDispatch = connect(this, &QAbstractButton::clicked, this,
                                &TMsgBitBtn::dispatchAnswer, Qt::SingleShotConnection);
}

int TMsgBitBtn::askQuestion()
{
    if (m_displayMsg.isEmpty())
        return AnswerNone;
    QMessageBox box(iconOf(m_type), QApplication::applicationName(), m_displayMsg,
                    QMessageBox::NoButton, window());
    QMessageBox::StandardButtons standard;
    for (const ButtonMap& b : kButtons) {
        if (m_buttons.testFlag(b.ours))
            standard |= b.box;
    }
    box.setStandardButtons(standard);
    box.setProperty("HelpCtx", m_helpCtx);
    box.exec();
    // Esc and the window's close count as the box's escape button (Cancel
    // when it is offered); the box cannot be closed without one.
    const QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
    for (const ButtonMap& b : kButtons) {
        if (b.box == pressed)
            return b.answer;
    }
    return AnswerNone;
}

void TMsgBitBtn::dispatchAnswer()
{
    switch (m_answer) {
    case AnswerOK:
        emit okClick(this);
        break;
    case AnswerCancel:
        emit cancelClick(this);
        break;
    case AnswerAbort:
        emit abortClick(this);
        break;
    case AnswerRetry:
        emit retryClick(this);
        break;
    case AnswerIgnore:
        emit ignoreClick(this);
        break;
    case AnswerYes:
        emit yesClick(this);
        break;
    case AnswerNo:
        emit noClick(this);
        break;
    case AnswerAll:
        emit allClick(this);
        break;
    default:
        break;
    }
}
