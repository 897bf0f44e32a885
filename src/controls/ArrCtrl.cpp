#include "controls/ArrCtrl.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>

namespace {

// Element events in the order of TArCntrl::Event, with the parameters of
// their forwarders, whose names are "E" + the event's name.
struct EventName
{
    const char* name;
    const char* parameters;
};
constexpr EventName kEventNames[] = {
    {"OnClick", "(QObject*)"},
    {"OnDblClick", "(QObject*)"},
    {"OnDragOver", "(QObject*,QObject*,int,int,int,bool*)"},
    {"OnDragDrop", "(QObject*,QObject*,int,int)"},
    {"OnEndDrag", "(QObject*,QObject*,int,int)"},
    {"OnMouseDown", "(QObject*,Qt::MouseButton,Qt::KeyboardModifiers,int,int)"},
    {"OnMouseMove", "(QObject*,Qt::KeyboardModifiers,int,int)"},
    {"OnMouseUp", "(QObject*,Qt::MouseButton,Qt::KeyboardModifiers,int,int)"},
    {"OnStartDrag", "(QObject*,QObject**)"},
    {"OnKeyDown", "(QObject*,int*,Qt::KeyboardModifiers)"},
    {"OnKeyPress", "(QObject*,QChar*)"},
    {"OnKeyUp", "(QObject*,int*,Qt::KeyboardModifiers)"},
    {"OnEnter", "(QObject*)"},
    {"OnExit", "(QObject*)"},
    {"OnChange", "(QObject*)"},
};

// Enough for a form whose elements are all created within its first second.
constexpr int kRetryMs = 50;
constexpr int kRetries = 20;

// The element's first signal of that name (the one its default-argument
// clones are connected through), or an invalid method.
QMetaMethod signalNamed(const QObject* c, const char* name)
{
    const QMetaObject* mo = c->metaObject();
    for (int i = 0; i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Signal && m.name() == name)
            return m;
    }
    return {};
}

QMetaMethod ownSlot(const char* signature)
{
    return TArCntrl::staticMetaObject.method(TArCntrl::staticMetaObject.indexOfSlot(signature));
}

// Makes the array's forwarder the only receiver of the element's signal.
void replaceReceivers(QWidget* c, const QMetaMethod& signal, TArCntrl* array, const char* forwarder)
{
    if (!signal.isValid())
        return;
    QObject::disconnect(c, signal, nullptr, QMetaMethod());
    if (forwarder)
        QObject::connect(c, signal, array, ownSlot(forwarder));
}

} // namespace

int TCntrls::append(QWidget* maybeNull)
{
    m_items.append(TCntrlItem{maybeNull, false});
    return count() - 1;
}

void TCntrls::setControl(int i, QWidget* c)
{
    m_items[i].Cntrl = c;
    m_items[i].EventSeted = false;
}

TArCntrl::TArCntrl(QWidget* owner, const QString& name)
    : TArCntrl(owner, name, &QWidget::staticMetaObject)
{
}

TArCntrl::TArCntrl(QWidget* owner, const QString& name, const QMetaObject* cntrlClass)
    : QObject(owner)
    , m_class(cntrlClass)
{
    setObjectName(name);
}

TArCntrl::~TArCntrl()
{
    for (int i = 0; i < m_num; ++i)
        ResetEvents(control(i));
}

QWidget* TArCntrl::control(int i) const
{
    if (i < 0 || i >= m_num || i >= m_items.count())
        return nullptr;
    return m_items.at(i).Cntrl;
}

int TArCntrl::IndexOf(const QObject* c) const
{
    for (int i = 0; i < m_items.count(); ++i) {
        if (c && m_items.at(i).Cntrl == c)
            return i;
    }
    return -1;
}

bool TArCntrl::CheckClass(const QWidget* c) const
{
    if (!c)
        return false;
    const QMetaObject* mo = c->metaObject();
    return mo->inherits(m_class) || m_class->inherits(mo);
}

int TArCntrl::Add(QWidget* c)
{
    if (!CheckClass(c)) {
        const QString cls = c ? QString::fromLatin1(c->metaObject()->className()) : QStringLiteral("nullptr");
        throw EInvalidOperation(cls + QStringLiteral(" オブジェクトは受け入れられません"));
    }
    const bool bound = SetEvents(c);
    const int i = m_items.append(c);
    m_items[i].EventSeted = bound;
    if (!m_loading)
        ++m_num;
    return i;
}

void TArCntrl::Delete(int i)
{
    if (i < 0 || i >= m_num)
        return;
    ResetEvents(control(i));
    if (i < m_items.count())
        m_items.removeAt(i);
    --m_num;
}

QWidget* TArCntrl::CreateCntrl(QWidget* owner)
{
    return new QWidget(owner);
}

void TArCntrl::setNumOfArry(int n)
{
    n = qMax(0, n);
    if (m_loading) {
        m_num = n;
        return;
    }
    if (n == m_num)
        return;
    if (!m_parent)
        m_parent = qobject_cast<QWidget*>(parent());
    if (!m_parent)
        return;
    // Qt has no owner apart from the parent: new elements belong to the form
    // that holds the array parent, and their names must be free on it.
    QWidget* owner = m_parent->window();

    int x = m_design.x() + 15;
    int y = m_design.y() - 30;
    if (QWidget* last = control(m_num - 1)) {
        x = last->x();
        y = last->y();
    }
    for (int k = m_num + 1; k <= n; ++k) {
        QWidget* c = CreateCntrl(owner);
        QString name;
        for (int j = k;; ++j) {
            name = objectName() + QLatin1Char('_') + QString::number(j);
            if (owner->objectName() != name && !owner->findChild<QObject*>(name))
                break;
        }
        c->setObjectName(name);
        if (m_parent->height() < y + c->height() + 30)
            y = 0;
        if (m_parent->width() < x + c->width() + 15)
            x = 0;
        c->move(x + 15, y + 30);
        c->setParent(m_parent);
        c->show();
        Add(c);
        x += 15;
        y += 30;
    }
    for (int k = m_num; k > n; --k) {
        QWidget* c = control(k - 1);
        Delete(k - 1);
        delete c;
    }
    m_num = n;
}

void TArCntrl::setArryParent(QWidget* p)
{
    if (!p)
        p = qobject_cast<QWidget*>(parent());
    if (p == m_parent)
        return;
    if (!m_loading && p) {
        for (int i = 0; i < m_items.count(); ++i) {
            QWidget* c = m_items.at(i).Cntrl;
            if (!c || c->window() != p->window())
                continue;
            const bool shown = !c->isHidden();
            c->setParent(p);
            c->setVisible(shown);
        }
    }
    if (m_parent)
        m_parent->update();
    m_parent = p;
    if (p)
        p->update();
}

bool TArCntrl::SetAllEvents()
{
    bool all = true;
    for (int i = 0; i < m_items.count(); ++i) {
        if (m_items.at(i).EventSeted)
            continue;
        if (SetEvents(m_items.at(i).Cntrl))
            m_items[i].EventSeted = true;
        else
            all = false;
    }
    return all;
}

void TArCntrl::Loaded()
{
    m_loading = false;
    m_retries = 0;
    if (SetAllEvents()) {
        m_pending = false;
        return;
    }
    // Retried on this thread a bounded number of times: an element without a
    // control is the form's fault, not a reason to spin.
    if (!m_pending) {
        m_pending = true;
        QTimer::singleShot(kRetryMs, this, &TArCntrl::retryBinding);
    }
}

void TArCntrl::retryBinding()
{
    if (SetAllEvents()) {
        m_pending = false;
    } else if (++m_retries >= kRetries) {
        m_pending = false;
        qWarning("control array %s: elements without a control could not be bound", qPrintable(objectName()));
    } else {
        QTimer::singleShot(kRetryMs, this, &TArCntrl::retryBinding);
    }
}

bool TArCntrl::has(Event e)
{
    if (!m_forwardersKnown) {
        const QMetaObject* mo = metaObject();
        for (int i = 0; i < EventCount; ++i) {
            const QByteArray signature = QByteArray("E") + kEventNames[i].name + kEventNames[i].parameters;
            const int at = mo->indexOfMethod(QMetaObject::normalizedSignature(signature.constData()));
            m_forwarders[size_t(i)] = at < 0 ? QMetaMethod() : mo->method(at);
        }
        m_forwardersKnown = true;
    }
    return m_forwarders[size_t(e)].isValid();
}

// Calls the forwarder by its meta-method, so that a subclass's override or an
// event added by a subclass is reached. The arguments must have the exact
// types of the forwarder's parameters (see kEventNames).
template <class... Args>
void TArCntrl::forward(Event e, QObject* sender, Args... args)
{
    if (!has(e))
        return;
    void* argv[] = {nullptr, &sender, &args...};
    QMetaObject::metacall(this, QMetaObject::InvokeMetaMethod, m_forwarders[size_t(e)].methodIndex(), argv);
}

bool TArCntrl::SetEvents(QWidget* c)
{
    if (!c)
        return false;
    // Drop an earlier binding so that binding twice connects once.
    disconnect(c, nullptr, this, nullptr);
    connect(c, &QObject::destroyed, this, &TArCntrl::elementDestroyed);

    // Events carried by the element's own signals: the array's forwarder
    // replaces whatever handled them before.
    if (has(Click))
        replaceReceivers(c, signalNamed(c, "clicked"), this, "elementClicked()");
    if (has(Change))
        replaceReceivers(c, c->metaObject()->userProperty().notifySignal(), this, "elementChanged()");
    if (has(KeyPress))
        replaceReceivers(c, signalNamed(c, "keyPress"), this, nullptr);  // seen by the event filter instead

    // The other events are read from the element's event stream.
    c->installEventFilter(this);
    if (has(MouseMove))
        c->setMouseTracking(true);
    if (has(DragOver) || has(DragDrop))
        c->setAcceptDrops(true);
    return true;
}

void TArCntrl::ResetEvents(QWidget* c)
{
    if (!c)
        return;
    c->removeEventFilter(this);
    disconnect(c, nullptr, this, nullptr);
    if (m_entered == c)
        m_entered = nullptr;
}

void TArCntrl::elementClicked()
{
    forward(Click, sender());
}

void TArCntrl::elementChanged()
{
    forward(Change, sender());
}

void TArCntrl::elementDestroyed(QObject* c)
{
    for (int i = 0; i < m_num && i < m_items.count(); ++i) {
        if (m_items.at(i).Cntrl == c) {
            Delete(i);
            return;
        }
    }
}

bool TArCntrl::eventFilter(QObject* watched, QEvent* event)
{
    auto* c = qobject_cast<QWidget*>(watched);
    if (!c || event == m_resent)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return filterKey(c, static_cast<QKeyEvent*>(event));
    case QEvent::FocusIn:
        // Enter and exit follow the form's focused control: a window that
        // becomes active again, or a closed menu, gives the focus back to
        // the control that had it, which is no new enter.
        if (c == m_entered)
            return false;
        if (m_entered)
            forward(Exit, m_entered.data());  // it lost the focus while the window was inactive
        m_entered = c;
        forward(Enter, c);
        return false;
    case QEvent::FocusOut: {
        const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
        if (why == Qt::ActiveWindowFocusReason || why == Qt::PopupFocusReason)
            return false;
        if (m_entered == c)
            m_entered = nullptr;
        forward(Exit, c);
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return filterMouse(c, event);
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        return filterDrag(c, event);
    default:
        return false;
    }
}

// A handler that sets the key to 0 swallows it; one that changes it has the
// element see the changed key instead.
bool TArCntrl::filterKey(QWidget* c, QKeyEvent* e)
{
    const bool down = e->type() == QEvent::KeyPress;
    if (!down && e->isAutoRepeat())
        return false;
    int key = e->key();
    forward(down ? KeyDown : KeyUp, c, &key, e->modifiers());
    if (key == 0)
        return true;
    QString text = e->text();
    if (down && !text.isEmpty()) {
        QChar ch = text.at(0);
        forward(KeyPress, c, &ch);
        if (ch.isNull())
            return true;
        text[0] = ch;
    }
    if (key == e->key() && text == e->text())
        return false;
    QKeyEvent changed(e->type(), key, e->modifiers(), text, e->isAutoRepeat(), e->count());
    m_resent = &changed;
    QCoreApplication::sendEvent(c, &changed);
    m_resent = nullptr;
    return true;
}

bool TArCntrl::filterMouse(QWidget* c, QEvent* event)
{
    auto* me = static_cast<QMouseEvent*>(event);
    const QPoint p = me->position().toPoint();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (me->button() == Qt::LeftButton)
            m_pressed = c;
        forward(MouseDown, c, me->button(), me->modifiers(), p.x(), p.y());
        break;
    case QEvent::MouseButtonDblClick:
        forward(DblClick, c);
        forward(MouseDown, c, me->button(), me->modifiers(), p.x(), p.y());
        break;
    case QEvent::MouseButtonRelease: {
        // Elements without a clicked signal click on a left press and release
        // inside them.
        const bool click = me->button() == Qt::LeftButton && m_pressed == c && c->rect().contains(p)
                           && !signalNamed(c, "clicked").isValid();
        if (me->button() == Qt::LeftButton)
            m_pressed = nullptr;
        if (click)
            forward(Click, c);
        forward(MouseUp, c, me->button(), me->modifiers(), p.x(), p.y());
        break;
    }
    default:
        forward(MouseMove, c, me->modifiers(), p.x(), p.y());
        break;
    }
    return false;
}

// With an OnDragOver handler the array decides which drags its elements take;
// without one the element's own drag handling runs. A drop is reported either
// way.
bool TArCntrl::filterDrag(QWidget* c, QEvent* event)
{
    const bool decides = isSignalConnected(QMetaMethod::fromSignal(&TArCntrl::OnDragOver));
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        if (!decides)
            return false;
        auto* de = static_cast<QDragMoveEvent*>(event);
        const QPoint p = de->position().toPoint();
        bool accept = true;
        const int state = event->type() == QEvent::DragEnter ? DragEnter : DragMove;
        forward(DragOver, c, de->source(), p.x(), p.y(), state, &accept);
        if (accept)
            de->acceptProposedAction();
        else
            de->ignore();
        return true;
    }
    case QEvent::DragLeave: {
        if (!decides)
            return false;
        const QPoint p = c->mapFromGlobal(QCursor::pos());
        bool accept = false;
        forward(DragOver, c, static_cast<QObject*>(nullptr), p.x(), p.y(), int(DragLeave), &accept);
        return false;
    }
    default: {
        auto* de = static_cast<QDropEvent*>(event);
        const QPoint p = de->position().toPoint();
        forward(DragDrop, c, de->source(), p.x(), p.y());
        if (!decides)
            return false;
        de->acceptProposedAction();
        return true;
    }
    }
}

Qt::DropAction TArCntrl::BeginDrag(QWidget* c)
{
    if (!c)
        return Qt::IgnoreAction;
    QPointer<QWidget> element(c);
    QObject* dragObject = nullptr;
    forward(StartDrag, c, &dragObject);
    auto* drag = qobject_cast<QDrag*>(dragObject);
    if (!drag) {
        drag = new QDrag(c);
        drag->setMimeData(new QMimeData);
    }
    QPointer<QDrag> guard(drag);
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction);
    if (!element)
        return action;
    QObject* target = guard ? guard->target() : nullptr;
    auto* on = qobject_cast<QWidget*>(target);
    const QPoint p = (on ? on : element.data())->mapFromGlobal(QCursor::pos());
    forward(EndDrag, element.data(), target, p.x(), p.y());
    return action;
}

void TArCntrl::EOnClick(QObject* sender)
{
    emit OnClick(sender, IndexOf(sender));
}

void TArCntrl::EOnDblClick(QObject* sender)
{
    emit OnDblClick(sender, IndexOf(sender));
}

void TArCntrl::EOnDragOver(QObject* sender, QObject* source, int x, int y, int state, bool* accept)
{
    emit OnDragOver(sender, IndexOf(sender), source, x, y, state, accept);
}

void TArCntrl::EOnDragDrop(QObject* sender, QObject* source, int x, int y)
{
    emit OnDragDrop(sender, IndexOf(sender), source, x, y);
}

void TArCntrl::EOnEndDrag(QObject* sender, QObject* target, int x, int y)
{
    emit OnEndDrag(sender, IndexOf(sender), target, x, y);
}

void TArCntrl::EOnMouseDown(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    emit OnMouseDown(sender, IndexOf(sender), button, shift, x, y);
}

void TArCntrl::EOnMouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y)
{
    emit OnMouseMove(sender, IndexOf(sender), shift, x, y);
}

void TArCntrl::EOnMouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    emit OnMouseUp(sender, IndexOf(sender), button, shift, x, y);
}

void TArCntrl::EOnStartDrag(QObject* sender, QObject** dragObject)
{
    emit OnStartDrag(sender, IndexOf(sender), dragObject);
}

void TArWinCtrl::EOnKeyDown(QObject* sender, int* key, Qt::KeyboardModifiers shift)
{
    emit OnKeyDown(sender, IndexOf(sender), key, shift);
}

void TArWinCtrl::EOnKeyPress(QObject* sender, QChar* key)
{
    emit OnKeyPress(sender, IndexOf(sender), key);
}

void TArWinCtrl::EOnKeyUp(QObject* sender, int* key, Qt::KeyboardModifiers shift)
{
    emit OnKeyUp(sender, IndexOf(sender), key, shift);
}

void TArWinCtrl::EOnEnter(QObject* sender)
{
    emit OnEnter(sender, IndexOf(sender));
}

void TArWinCtrl::EOnExit(QObject* sender)
{
    emit OnExit(sender, IndexOf(sender));
}

void TArSub1::EOnChange(QObject* sender)
{
    emit OnChange(sender, IndexOf(sender));
}
