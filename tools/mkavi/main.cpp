// Draws the busy animation of the main window's tool bar and writes it as an
// AVI clip of JPEG frames: quillon-mkavi <output.avi>

#include "controls/AviFile.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtMath>

#include <cstdio>

namespace {

constexpr int kWidth = 60;
constexpr int kHeight = 35;
constexpr int kFrames = 12;
constexpr int kUsPerFrame = 83'333;  // one turn a second
constexpr int kDots = 8;
const QColor kBackground(0xF0, 0xF0, 0xF0);
const QColor kHead(0x20, 0x60, 0xC0);

QColor blend(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// A ring of dots around a short arc that turns with the frames; the dot ahead
// of the arc is brightest and the ones behind it fade.
QImage drawFrame(int frame)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(kWidth / 2.0, kHeight / 2.0);
    const double radius = 11.0;
    const double turn = double(frame) / kFrames;

    for (int i = 0; i < kDots; ++i) {
        const double angle = 2 * M_PI * (double(i) / kDots);
        const QPointF at = centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
        // Distance of this dot behind the head of the arc, 0..1.
        double behind = turn - double(i) / kDots;
        behind -= std::floor(behind);
        p.setPen(Qt::NoPen);
        p.setBrush(blend(kHead, kBackground, 0.85 * behind));
        p.drawEllipse(at, 2.6, 2.6);
    }

    QPen arc(kHead, 2.0);
    arc.setCapStyle(Qt::RoundCap);
    p.setPen(arc);
    p.setBrush(Qt::NoBrush);
    const QRectF box(centre.x() - 6, centre.y() - 6, 12, 12);
    // Qt angles count in 1/16 degree, counter-clockwise; the dots go clockwise.
    p.drawArc(box, int(-turn * 360 * 16), -120 * 16);
    return image;
}

QByteArray toJpeg(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", 90))
        return {};
    return bytes;
}

}  // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: quillon-mkavi <output.avi>\n");
        return 2;
    }

    AviClip clip;
    clip.size = QSize(kWidth, kHeight);
    clip.usPerFrame = kUsPerFrame;
    for (int i = 0; i < kFrames; ++i) {
        QByteArray jpeg = toJpeg(drawFrame(i));
        if (jpeg.isEmpty()) {
            std::fprintf(stderr, "quillon-mkavi: no JPEG writer\n");
            return 1;
        }
        clip.frames.append(jpeg);
    }

    const QByteArray avi = writeAvi(clip);
    if (!readAvi(avi)) {
        std::fprintf(stderr, "quillon-mkavi: the written clip does not read back\n");
        return 1;
    }
    QFile out(args.at(1));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(avi) != avi.size()
        || !out.flush()) {
        std::fprintf(stderr, "quillon-mkavi: cannot write %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
