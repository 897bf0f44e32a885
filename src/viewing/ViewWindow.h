#pragma once

// Hands a picture to a view window: the one shared window in the single mode,
// a new window for every call in the multiple mode.

#include "viewing/PictureLoader.h"

#include <QString>

class QWidget;

namespace viewing {

class TFormView;

enum class ViewMode { Single, Multiple };

// Shows picture in a view window titled title + " (w x h)" with the picture's
// true size; answers the window used. In the multiple mode the new window has
// parentForNew as its parent and deletes itself when it is closed. The single
// mode uses shared and answers nullptr when there is none.
TFormView* ShowInViewWindow(ViewMode mode, TFormView* shared, QWidget* parentForNew,
                                  const Picture& picture, const QString& title);

} // namespace viewing
