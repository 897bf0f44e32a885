#include "controls/Animate.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace {

// Frames are small; a shorter period would only load the event loop.
constexpr int kMinIntervalMs = 10;

QImage decodeFrame(const QByteArray& jpeg, QSize expected)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    // The header's size decides the allocation: check it before decoding.
    if (reader.size() != expected)
        return {};
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

bool frameHeaderMatches(const QByteArray& jpeg, QSize expected)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    return reader.canRead() && reader.size() == expected;
}

}  // namespace

TAnimate::TAnimate(QWidget* parent)
    : QWidget(parent)
{
    resize(60, 35);
    connect(&m_timer, &QTimer::timeout, this, &TAnimate::advance);
}

bool TAnimate::open(const QString& aviPath)
{
    close();
    QFile file(aviPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxAviFileBytes)
        return false;
    const QByteArray data = file.read(kMaxAviFileBytes + 1);
    if (data.size() > kMaxAviFileBytes)
        return false;
    std::optional<AviClip> clip = readAvi(data);
    if (!clip)
        return false;
    // Frames are decoded one at a time while playing; make sure now that each
    // one is a JPEG of the clip's size so that playing cannot fail later.
    for (const QByteArray& frame : clip->frames) {
        if (!frameHeaderMatches(frame, clip->size))
            return false;
    }
    QImage first = decodeFrame(clip->frames.first(), clip->size);
    if (first.isNull())
        return false;
    m_clip = std::move(*clip);
    m_image = first;
    m_current = 0;
    m_timer.setInterval(qMax(kMinIntervalMs, m_clip.usPerFrame / 1000));
    update();
    return true;
}

void TAnimate::close()
{
    m_timer.stop();
    m_clip = AviClip();
    m_image = QImage();
    m_current = 0;
    update();
}

void TAnimate::play()
{
    if (isOpen())
        m_timer.start();
}

void TAnimate::stop()
{
    m_timer.stop();
}

void TAnimate::advance()
{
    if (!isOpen()) {
        m_timer.stop();
        return;
    }
    showFrame((m_current + 1) % frameCount());
}

void TAnimate::showFrame(int index)
{
    QImage image = decodeFrame(m_clip.frames.at(index), m_clip.size);
    m_current = index;
    // A frame that passed the header check but fails to decode keeps the last picture.
    if (!image.isNull())
        m_image = image;
    update();
    emit frameChanged(index);
}

void TAnimate::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    const QPoint topLeft((width() - m_image.width()) / 2, (height() - m_image.height()) / 2);
    painter.drawImage(topLeft, m_image);
}
