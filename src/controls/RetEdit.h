#pragma once

#include <QLineEdit>

class QKeyEvent;

// A one-line edit in which Enter moves the focus on to the next control in
// tab order, as Tab would, instead of confirming the edit or the dialog.
class TRetEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(bool ReturnNext READ returnNext WRITE setReturnNext)
public:
    explicit TRetEdit(QWidget* parent = nullptr);

    bool returnNext() const { return m_returnNext; }
    void setReturnNext(bool on) { m_returnNext = on; }

signals:
    // Every key press, Enter included, before the edit handles it: the form's
    // own key handler.
    void keyPress(TRetEdit* sender, QKeyEvent* event);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_returnNext = true;
};
