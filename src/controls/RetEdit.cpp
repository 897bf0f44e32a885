#include "controls/RetEdit.h"

#include <QKeyEvent>
#include <QPointer>

TRetEdit::TRetEdit(QWidget* parent)
    : QLineEdit(parent)
{
}

void TRetEdit::keyPressEvent(QKeyEvent* event)
{
    QPointer<TRetEdit> self(this);
    emit keyPress(this, event);
    if (!self)
        return;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (m_returnNext && enter) {
        // Handled here so that neither returnPressed nor a dialog's default
        // button sees it; focusNextChild walks the tab chain of the window as
        // the Tab key does.
        focusNextChild();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
