#include "viewing/TImage.h"

#include <QPainter>

namespace viewing {

TImage::TImage(QWidget* parent)
    : QWidget(parent)
{
}

void TImage::setPicture(const Picture& picture)
{
    m_picture = picture;
    if (m_picture.fullSize.isEmpty())
        m_picture.fullSize = m_picture.image.size();
    updateGeometry();
    update();
}

void TImage::clear()
{
    m_picture = Picture();
    updateGeometry();
    update();
}

QSize TImage::pictureSize() const
{
    return m_picture.isNull() ? QSize(0, 0) : m_picture.fullSize;
}

void TImage::setStretch(bool on)
{
    if (m_stretch == on)
        return;
    m_stretch = on;
    update();
}

QSize TImage::sizeHint() const
{
    return m_picture.isNull() ? QSize(0, 0) : m_picture.fullSize;
}

void TImage::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect target = m_stretch ? rect() : QRect(QPoint(0, 0), m_picture.fullSize);
    p.drawImage(target, m_picture.image);
}

} // namespace viewing
