#include "viewing/ViewWindow.h"

#include "viewing/FormView.h"

#include <QFrame>

namespace viewing {

TFormView* ShowInViewWindow(ViewMode mode, TFormView* shared, QWidget* parentForNew,
                                  const Picture& picture, const QString& title)
{
    QSize size = picture.isNull() ? QSize(0, 0) : picture.fullSize;
    if (!picture.isNull() && size.isEmpty())
        size = picture.image.size();
    const int w = size.width();
    const int h = size.height();

    // A window created now takes this size instead of the stored one.
    TFormView::setNewWindowSize(QSize(w + 10, h + 44));

    TFormView* view = shared;
    if (mode == ViewMode::Multiple) {
        view = new TFormView(parentForNew);
        view->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (!view)
        return nullptr;

    view->setScrollRange(QSize(w, h));
    view->setPicture(picture);
    view->setWindowTitle(title + QString::asprintf(" (%d x %d)", w, h));
    view->Panel1->resize(w, h);
    // Leave a minimised or maximised state first, so the size below holds.
    view->setWindowState(view->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    view->resize(w + 10, h + view->PanelTail->height() + 30);
    view->show();
    view->raise();
    view->activateWindow();
    return view;
}

} // namespace viewing
