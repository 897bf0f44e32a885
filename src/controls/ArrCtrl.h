#pragma once

// Control arrays: a non-visual object that groups like controls of a form so
// that the form reaches them by index and handles every event of all of them
// in one handler that is told the index of the control that fired.
//
// Binding an element routes its events through the array's forwarders, the
// invokable methods named "E" + event name (EOnClick, EOnKeyDown, ...), which
// emit the array's signal of the event's name with the element's index added.
// Which events an array forwards is read from its meta-object by those names:
// a label array has no key forwarders, so its elements keep their keys.

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <utility>

// Raised by TArCntrl::Add for a control of a class the array does not accept.
class EInvalidOperation
{
public:
    explicit EInvalidOperation(QString m)
        : m_message(std::move(m))
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// One element of an array. The control may come later than the item (a form
// may list its elements before they all exist); such an item stays unbound.
struct TCntrlItem
{
    QPointer<QWidget> Cntrl;
    bool EventSeted = false;
};

// The ordered elements of an array.
class TCntrls
{
public:
    int count() const { return int(m_items.size()); }
    const TCntrlItem& at(int i) const { return m_items.at(i); }
    TCntrlItem& operator[](int i) { return m_items[i]; }

    // Appends an item for the control, which may be null until setControl.
    int append(QWidget* maybeNull);
    // Gives item i its control; it is bound by the next SetAllEvents.
    void setControl(int i, QWidget* c);
    void removeAt(int i) { m_items.removeAt(i); }
    void clear() { m_items.clear(); }

private:
    QList<TCntrlItem> m_items;
};

class TArCntrl : public QObject
{
    Q_OBJECT
public:
    // owner is the form; it is also the QObject parent.
    TArCntrl(QWidget* owner, const QString& name);
    ~TArCntrl() override;

    TCntrls& Collection() { return m_items; }
    const TCntrls& Collection() const { return m_items; }

    int NumOfArry() const { return m_num; }
    void setNumOfArry(int n);
    QWidget* ArryParent() const { return m_parent; }
    void setArryParent(QWidget* p);
    // The array's own place on the form: where growing an empty array starts.
    void setDesignPosition(QPoint p) { m_design = p; }
    QPoint designPosition() const { return m_design; }
    const QMetaObject* CntrlClass() const { return m_class; }

    // Element i, or nullptr when i is outside 0 .. NumOfArry - 1.
    QWidget* control(int i) const;
    // Position of the first item holding c in the whole collection; -1 when absent.
    int IndexOf(const QObject* c) const;
    int Add(QWidget* c);
    // Drops element i from the array; the control lives on, unbound.
    void Delete(int i);
    // Binds every item not bound yet; true when all are bound.
    bool SetAllEvents();

    // While loading, the collection is filled directly (Collection().append)
    // and setNumOfArry only stores the count; Loaded() ends it and binds the
    // elements, retrying for a while when some have no control yet.
    void BeginLoading() { m_loading = true; }
    bool Loading() const { return m_loading; }
    void Loaded();
    // True while Loaded() is still retrying to bind elements.
    bool Pending() const { return m_pending; }

    // Drags element c: OnStartDrag may supply the QDrag (else an empty one is
    // used); OnEndDrag reports the widget it was dropped on, or nullptr.
    Qt::DropAction BeginDrag(QWidget* c);

    virtual QWidget* CreateCntrl(QWidget* owner);
    virtual bool SetEvents(QWidget* c);
    virtual void ResetEvents(QWidget* c);
    virtual bool CheckClass(const QWidget* c) const;

    Q_INVOKABLE virtual void EOnClick(QObject* sender);
    Q_INVOKABLE virtual void EOnDblClick(QObject* sender);
    Q_INVOKABLE virtual void EOnDragOver(QObject* sender, QObject* source, int x, int y, int state, bool* accept);
    Q_INVOKABLE virtual void EOnDragDrop(QObject* sender, QObject* source, int x, int y);
    Q_INVOKABLE virtual void EOnEndDrag(QObject* sender, QObject* target, int x, int y);
    Q_INVOKABLE virtual void EOnMouseDown(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                          int y);
    Q_INVOKABLE virtual void EOnMouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    Q_INVOKABLE virtual void EOnMouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                        int y);
    Q_INVOKABLE virtual void EOnStartDrag(QObject* sender, QObject** dragObject);

    // States of OnDragOver.
    enum DragState { DragEnter = 0, DragLeave = 1, DragMove = 2 };

signals:
    void OnClick(QObject* sender, int index);
    void OnDblClick(QObject* sender, int index);
    void OnMouseDown(QObject* sender, int index, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void OnMouseUp(QObject* sender, int index, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void OnMouseMove(QObject* sender, int index, Qt::KeyboardModifiers shift, int x, int y);
    void OnDragDrop(QObject* sender, int index, QObject* source, int x, int y);
    void OnDragOver(QObject* sender, int index, QObject* source, int x, int y, int state, bool* accept);
    void OnEndDrag(QObject* sender, int index, QObject* target, int x, int y);
    void OnStartDrag(QObject* sender, int index, QObject** dragObject);

protected:
    TArCntrl(QWidget* owner, const QString& name, const QMetaObject* cntrlClass);
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void elementClicked();
    void elementChanged();
    void elementDestroyed(QObject* c);

private:
    // The element events, in the order of kEventNames.
    enum Event {
        Click, DblClick, DragOver, DragDrop, EndDrag, MouseDown, MouseMove, MouseUp, StartDrag,
        KeyDown, KeyPress, KeyUp, Enter, Exit, Change, EventCount
    };
    bool has(Event e);
    template <class... Args>
    void forward(Event e, QObject* sender, Args... args);
    bool filterKey(QWidget* c, QKeyEvent* e);
    bool filterMouse(QWidget* c, QEvent* event);
    bool filterDrag(QWidget* c, QEvent* event);
    void retryBinding();

    TCntrls m_items;
    int m_num = 0;
    QPointer<QWidget> m_parent;
    QPoint m_design;
    const QMetaObject* m_class;
    bool m_loading = false;
    bool m_pending = false;
    int m_retries = 0;
    // Forwarders found by name, looked up on first use (the meta-object of
    // the final class is not known in the constructor).
    std::array<QMetaMethod, EventCount> m_forwarders;
    bool m_forwardersKnown = false;
    // The element under a left press, for the click of elements without a
    // clicked signal.
    QPointer<QWidget> m_pressed;
    // The element that last got the focus and has not lost it to another
    // control.
    QPointer<QWidget> m_entered;
    // A key event re-sent with the key a handler chose passes unforwarded.
    QEvent* m_resent = nullptr;
};

class TArWinCtrl : public TArCntrl
{
    Q_OBJECT
public:
    TArWinCtrl(QWidget* owner, const QString& name)
        : TArWinCtrl(owner, name, &QWidget::staticMetaObject)
    {
    }

    Q_INVOKABLE virtual void EOnKeyDown(QObject* sender, int* key, Qt::KeyboardModifiers shift);
    Q_INVOKABLE virtual void EOnKeyPress(QObject* sender, QChar* key);
    Q_INVOKABLE virtual void EOnKeyUp(QObject* sender, int* key, Qt::KeyboardModifiers shift);
    Q_INVOKABLE virtual void EOnEnter(QObject* sender);
    Q_INVOKABLE virtual void EOnExit(QObject* sender);

signals:
    void OnKeyDown(QObject* sender, int index, int* key, Qt::KeyboardModifiers shift);
    void OnKeyPress(QObject* sender, int index, QChar* key);
    void OnKeyUp(QObject* sender, int index, int* key, Qt::KeyboardModifiers shift);
    void OnEnter(QObject* sender, int index);
    void OnExit(QObject* sender, int index);

protected:
    TArWinCtrl(QWidget* owner, const QString& name, const QMetaObject* cntrlClass)
        : TArCntrl(owner, name, cntrlClass)
    {
    }
};

class TArSub1 : public TArWinCtrl
{
    Q_OBJECT
public:
    TArSub1(QWidget* owner, const QString& name)
        : TArSub1(owner, name, &QWidget::staticMetaObject)
    {
    }

    Q_INVOKABLE virtual void EOnChange(QObject* sender);

signals:
    void OnChange(QObject* sender, int index);

protected:
    TArSub1(QWidget* owner, const QString& name, const QMetaObject* cntrlClass)
        : TArWinCtrl(owner, name, cntrlClass)
    {
    }
};
