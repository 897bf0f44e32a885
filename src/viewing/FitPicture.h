#pragma once

#include <QSize>

class QWidget;

namespace viewing {

// Default sizes of the three picture boxes of the main window.
inline constexpr QSize kFileListPreviewBox{273, 288};
inline constexpr QSize kRecordPictureBox{273, 288};
inline constexpr QSize kSearchPreviewBox{195, 180};

// The panel size of a picture box. With stretch and keepRatio both on, a
// landscape picture keeps the full box width and gets a lower panel, a portrait
// or square one keeps the full box height and gets a narrower panel (which may
// be wider than the default box); otherwise, and for no picture (a width or
// height of 0 or less), the panel takes the default box. Integer arithmetic,
// multiply first, remainder dropped.
QSize fitBox(bool stretch, bool keepRatio, QSize defaultBox, QSize picture);

} // namespace viewing

namespace viewing {

class TImage;

// Applies the rule to a picture control and its panel: the control's stretch
// flag, then the panel's size. False when stretch and keepRatio are both on
// and there is no picture: the caller then leaves its size labels alone.
bool FitPicture(TImage& image, QWidget& panel, bool stretch, bool keepRatio, QSize defaultBox);

} // namespace viewing
