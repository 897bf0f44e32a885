#include "app/StopOnlyInput.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

namespace app {

namespace {

class StopOnlyInput : public QObject {
public:
    StopOnlyInput(QWidget* stopButton, QMenuBar* bar, QAction* stopAction)
        : m_stopButton(stopButton)
        , m_bar(bar)
    {
        for (QAction* top : bar->actions()) {
            QMenu* menu = top->menu();
            if (menu && menu->actions().contains(stopAction)) {
                for (QAction* a : menu->actions())
                    if (a != stopAction)
                        disable(a);
            } else {
                disable(top);
            }
        }
        qApp->installEventFilter(this);
    }
    ~StopOnlyInput() override
    {
        for (const QPointer<QAction>& a : m_disabled)
            if (a)
                a->setEnabled(true);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Input reaches a window first, which hands it on to its widgets:
        // judge it at the widget.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !isInput(event->type()))
            return false;
        for (QObject* o = widget; o; o = o->parent())
            if (o == m_stopButton || o == m_bar)
                return false;
        return true;
    }

private:
    void disable(QAction* a)
    {
        if (a->isEnabled() && !a->isSeparator()) {
            a->setEnabled(false);
            m_disabled << a;
        }
    }
    static bool isInput(QEvent::Type t)
    {
        switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }

    QWidget* m_stopButton;
    QMenuBar* m_bar;
    QList<QPointer<QAction>> m_disabled;
};

} // namespace

std::unique_ptr<QObject> makeStopOnlyInput(QWidget* stopButton, QMenuBar* bar, QAction* stopAction)
{
    return std::make_unique<StopOnlyInput>(stopButton, bar, stopAction);
}

} // namespace app
