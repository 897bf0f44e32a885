#include "viewing/FitPicture.h"

namespace viewing {

QSize fitBox(bool stretch, bool keepRatio, QSize defaultBox, QSize picture)
{
    if (!stretch || !keepRatio)
        return defaultBox;
    const qint64 w = picture.width();
    const qint64 h = picture.height();
    if (w <= 0 || h <= 0)
        return defaultBox;
    // 64-bit products: a picture edge times a box edge may pass the int range
    // for the absurd sizes a caller could hand in.
    if (w > h)
        return QSize(defaultBox.width(), int(h * defaultBox.width() / w));
    return QSize(int(w * defaultBox.height() / h), defaultBox.height());
}

} // namespace viewing

#include "viewing/TImage.h"

namespace viewing {

bool FitPicture(TImage& image, QWidget& panel, bool stretch, bool keepRatio, QSize defaultBox)
{
    image.setStretch(stretch);
    const QSize picture = image.pictureSize();
    panel.setFixedSize(fitBox(stretch, keepRatio, defaultBox, picture));
    return !(stretch && keepRatio && (picture.width() <= 0 || picture.height() <= 0));
}

} // namespace viewing
