// The preview of a large picture in the record picture box, two ways, each run
// in a process of its own so that the peak memory is the way's own:
//   quillon-bench-preview gen FILE [NOISE] writes a deterministic 6000 x 4000 picture
//                                          with noise of +-NOISE levels (default 16):
//                                          JPEG, or WebP or AVIF by FILE's extension
//   quillon-bench-preview ours FILE N     our loader with the box (scaled decode)
//   quillon-bench-preview full FILE N     a full-size decode, then scaling to the box
//   quillon-bench-preview warm FILE N DIR the preview shown a second time: a first one
//                                          leaves the file's shared thumbnail in the
//                                          thumbnail directory DIR (empty at the start),
//                                          then the N timed ones are shown from it
// A run prints the best time of N in milliseconds, the process's peak resident
// memory (VmHWM) in MB, and its resident memory before the first decode.

#include "common/Photos.h"
#include "viewing/FitPicture.h"
#include "viewing/PictureLoader.h"
#include "viewing/Thumbnails.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QThreadPool>

#include <avif/avif.h>

#include <cstdio>
#include <limits>

namespace {


// AVIF as sites serve it: 8-bit 4:2:0, written by libavif's own encoder at
// its fastest speed.
bool writeAvif(const QImage& source, const QString& path)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    avifImage* yuv = avifImageCreate(uint32_t(image.width()), uint32_t(image.height()), 8, AVIF_PIXEL_FORMAT_YUV420);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, yuv);
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.ignoreAlpha = AVIF_TRUE;
    rgb.pixels = const_cast<uint8_t*>(image.constBits());
    rgb.rowBytes = uint32_t(image.bytesPerLine());
    avifEncoder* encoder = avifEncoderCreate();
    encoder->speed = AVIF_SPEED_FASTEST;
    encoder->maxThreads = 2;
    encoder->minQuantizer = 20;
    encoder->maxQuantizer = 20;
    avifRWData out = AVIF_DATA_EMPTY;
    bool ok = avifImageRGBToYUV(yuv, &rgb) == AVIF_RESULT_OK && avifEncoderWrite(encoder, yuv, &out) == AVIF_RESULT_OK;
    if (ok) {
        QFile file(path);
        ok = file.open(QIODevice::WriteOnly) && file.write(reinterpret_cast<const char*>(out.data), qint64(out.size)) == qint64(out.size);
    }
    avifRWDataFree(&out);
    avifEncoderDestroy(encoder);
    avifImageDestroy(yuv);
    return ok;
}

// Gradients with noise from a fixed linear congruential sequence: the same
// file on every machine, and not so smooth that it compresses to nothing. The
// noise sets how much entropy-coded data there is, which a scaled decode must
// still read in full.
int generate(const QString& path, int amplitude)
{
    QImage image(6000, 4000, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int((seed >> 16) % quint32(2 * amplitude + 1)) - amplitude;
            const int r = x * 255 / image.width() + noise;
            const int g = y * 255 / image.height() + noise;
            const int b = ((x + y) / 16 % 2 ? 200 : 60) + noise;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    if (path.endsWith(QLatin1String(".avif"))) {
        if (writeAvif(image, path))
            return 0;
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    QImageWriter writer(path, path.endsWith(QLatin1String(".webp")) ? "webp" : "jpeg");
    writer.setQuality(90);
    if (!writer.write(image)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if ((args.size() == 3 || args.size() == 4) && args[1] == QLatin1String("gen"))
        return generate(args[2], args.size() == 4 ? qBound(0, args[3].toInt(), 127) : 16);
    const bool warm = args.size() == 5 && args[1] == QLatin1String("warm");
    if (!warm && (args.size() != 4 || (args[1] != QLatin1String("ours") && args[1] != QLatin1String("full")))) {
        std::fprintf(stderr, "usage: quillon-bench-preview gen FILE [NOISE] | ours FILE N | full FILE N | warm FILE N DIR\n");
        return 2;
    }
    const bool ours = args[1] != QLatin1String("full");
    const QString path = args[2];
    const int runs = qMax(1, args[3].toInt());
    const QSize box = viewing::kRecordPictureBox;

    if (warm) {
        viewing::setThumbnailRoot(args[4]);
        // The first preview decodes and writes the thumbnail on a worker.
        if (!viewing::loadPreview(path, box)) {
            std::fprintf(stderr, "%s: cannot be decoded\n", qPrintable(path));
            return 1;
        }
        QThreadPool::globalInstance()->waitForDone();
        if (!viewing::sharedThumbnails().find(path, viewing::ThumbnailCache::sizeClassFor(box))) {
            std::fprintf(stderr, "%s: no thumbnail was written\n", qPrintable(path));
            return 1;
        }
    }
    const double before = bench::statusMb("VmRSS");
    qint64 best = std::numeric_limits<qint64>::max();
    QSize shown;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        QImage preview;
        if (ours) {
            QString error;
            const auto picture = warm ? viewing::loadPreview(path, box, &error) : viewing::loadPicture(path, box, &error);
            if (!picture) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
                return 1;
            }
            // The view scales what is left to the fitted panel.
            const QSize panel = viewing::fitBox(true, true, box, picture->fullSize);
            preview = picture->image.scaled(panel, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        } else {
            const QImage full(path);
            if (full.isNull()) {
                std::fprintf(stderr, "%s: cannot be decoded\n", qPrintable(path));
                return 1;
            }
            preview = full.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        best = qMin(best, timer.nsecsElapsed());
        shown = preview.size();
    }
    std::printf("%.1f %.1f %.1f %dx%d\n", best / 1e6, bench::statusMb("VmHWM"), before, shown.width(), shown.height());
    return 0;
}
