#pragma once

#include <QPushButton>

// A push button that first asks a question in a message box and, after its
// ordinary click, reports the answer through the signal of the pressed
// button. With an empty DisplayMsg it is a plain button (answer 0).
class TMsgBitBtn : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QString DisplayMsg READ displayMsg WRITE setDisplayMsg)
    Q_PROPERTY(MsgDlgType MsgDlgType READ msgDlgType WRITE setMsgDlgType)
    Q_PROPERTY(MsgDlgButtons VisibleButtons READ visibleButtons WRITE setVisibleButtons)
    Q_PROPERTY(int HelpCtx READ helpCtx WRITE setHelpCtx)
public:
    // The box's kind: icon Warning, Critical, Information, Question, none.
    enum MsgDlgType { Warning, Error, Information, Confirmation, Custom };
    Q_ENUM(MsgDlgType)

    enum MsgDlgButton {
        Yes = 0x001,
        No = 0x002,
        OK = 0x004,
        Cancel = 0x008,
        Abort = 0x010,
        Retry = 0x020,
        Ignore = 0x040,
        All = 0x080,
        Help = 0x100,
    };
    Q_DECLARE_FLAGS(MsgDlgButtons, MsgDlgButton)
    Q_FLAG(MsgDlgButtons)

    // Answer codes of the message box, kept by answer().
    enum Answer {
        AnswerNone = 0,
        AnswerOK = 1,
        AnswerCancel = 2,
        AnswerAbort = 3,
        AnswerRetry = 4,
        AnswerIgnore = 5,
        AnswerYes = 6,
        AnswerNo = 7,
        AnswerAll = 8,
    };

    explicit TMsgBitBtn(QWidget* parent = nullptr);
    explicit TMsgBitBtn(const QString& text, QWidget* parent = nullptr);

    QString displayMsg() const { return m_displayMsg; }
    void setDisplayMsg(const QString& text) { m_displayMsg = text; }
    MsgDlgType msgDlgType() const { return m_type; }
    void setMsgDlgType(MsgDlgType type) { m_type = type; }
    MsgDlgButtons visibleButtons() const { return m_buttons; }
    void setVisibleButtons(MsgDlgButtons buttons) { m_buttons = buttons; }
    int helpCtx() const { return m_helpCtx; }
    void setHelpCtx(int context) { m_helpCtx = context; }

    // The code of the button pressed in the last box (0: no box was shown,
    // or it was answered with Help).
    int answer() const { return m_answer; }

signals:
    void okClick(TMsgBitBtn* sender);
    void cancelClick(TMsgBitBtn* sender);
    void abortClick(TMsgBitBtn* sender);
    void retryClick(TMsgBitBtn* sender);
    void ignoreClick(TMsgBitBtn* sender);
    void yesClick(TMsgBitBtn* sender);
    void noClick(TMsgBitBtn* sender);
    void allClick(TMsgBitBtn* sender);

protected:
    void nextCheckState() override;

private:
    int askQuestion();
    void dispatchAnswer();

    QString m_displayMsg;
    MsgDlgType m_type = Confirmation;
    MsgDlgButtons m_buttons = MsgDlgButtons(OK | Cancel);
    int m_helpCtx = 0;
    int m_answer = AnswerNone;
    QMetaObject::Connection m_pendingDispatch;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgBitBtn::MsgDlgButtons)
