#include "viewing/PictureCodecs.h"

#include <QImage>
#include <QSysInfo>
#include <QThread>
#include <QTransform>

#include <avif/avif.h>
#include <webp/decode.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace viewing {

std::optional<Picture> failure(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

namespace {

QSize sizeOf(quint64 width, quint64 height)
{
    const quint64 most = std::numeric_limits<int>::max();
    return QSize(int(std::min(width, most)), int(std::min(height, most)));
}

constexpr bool kLittleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;

// Where the share of target line i begins among n source lines shrunk to m.
qint64 shareStart(qint64 i, qint64 n, qint64 m)
{
    return (i * n + m - 1) / m;
}

// Shrinks a plane of samples with a box filter: every source sample counts
// towards exactly one target sample, the one whose share of the rows and
// columns it falls in. One pass over the source, with the sums of one target
// row at a time.
template <class T>
void shrinkPlane(const uchar* source, qsizetype sourceStride, QSize from, uchar* target, qsizetype targetStride,
                 QSize to)
{
    const int w = to.width(), h = to.height();
    std::vector<qint64> columnStart(size_t(w) + 1);
    for (int x = 0; x <= w; ++x)
        columnStart[size_t(x)] = shareStart(x, from.width(), w);
    std::vector<quint64> sums(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        const qint64 rowStart = shareStart(y, from.height(), h), rowEnd = shareStart(y + 1, from.height(), h);
        for (qint64 sy = rowStart; sy < rowEnd; ++sy) {
            const T* row = reinterpret_cast<const T*>(source + sy * sourceStride);
            for (int x = 0; x < w; ++x) {
                quint64 sum = 0;
                for (qint64 sx = columnStart[size_t(x)]; sx < columnStart[size_t(x) + 1]; ++sx)
                    sum += row[sx];
                sums[size_t(x)] += sum;
            }
        }
        T* out = reinterpret_cast<T*>(target + y * targetStride);
        for (int x = 0; x < w; ++x) {
            const quint64 count = quint64(rowEnd - rowStart) * quint64(columnStart[size_t(x) + 1] - columnStart[size_t(x)]);
            out[x] = T((sums[size_t(x)] + count / 2) / count);
        }
    }
}

struct AvifDecoderDeleter
{
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct AvifImageDeleter
{
    void operator()(avifImage* i) const { avifImageDestroy(i); }
};
using AvifImagePtr = std::unique_ptr<avifImage, AvifImageDeleter>;

// The decoded planes shrunk to size, with the colour description kept, so that
// only the pixels shown go through the colour conversion.
AvifImagePtr shrunkAvif(const avifImage& image, QSize size)
{
    AvifImagePtr small(avifImageCreate(uint32_t(size.width()), uint32_t(size.height()), image.depth, image.yuvFormat));
    if (!small)
        return nullptr;
    small->yuvRange = image.yuvRange;
    small->yuvChromaSamplePosition = image.yuvChromaSamplePosition;
    small->colorPrimaries = image.colorPrimaries;
    small->transferCharacteristics = image.transferCharacteristics;
    small->matrixCoefficients = image.matrixCoefficients;
    small->alphaPremultiplied = image.alphaPremultiplied;
    if (avifImageAllocatePlanes(small.get(), image.alphaPlane ? AVIF_PLANES_ALL : AVIF_PLANES_YUV) != AVIF_RESULT_OK)
        return nullptr;

    const auto shrink = [&](const uint8_t* from, uint32_t fromStride, QSize fromSize, uint8_t* to,
                            uint32_t toStride, QSize toSize) {
        if (image.depth > 8)
            shrinkPlane<quint16>(from, fromStride, fromSize, to, toStride, toSize);
        else
            shrinkPlane<quint8>(from, fromStride, fromSize, to, toStride, toSize);
    };
    const QSize full(int(image.width), int(image.height));
    shrink(image.yuvPlanes[AVIF_CHAN_Y], image.yuvRowBytes[AVIF_CHAN_Y], full, small->yuvPlanes[AVIF_CHAN_Y],
           small->yuvRowBytes[AVIF_CHAN_Y], size);
    if (image.yuvFormat != AVIF_PIXEL_FORMAT_YUV400) {
        avifPixelFormatInfo info;
        avifGetPixelFormatInfo(image.yuvFormat, &info);
        const auto chroma = [&](QSize s) {
            return QSize((s.width() + info.chromaShiftX) >> info.chromaShiftX,
                         (s.height() + info.chromaShiftY) >> info.chromaShiftY);
        };
        for (const int plane : {AVIF_CHAN_U, AVIF_CHAN_V})
            shrink(image.yuvPlanes[plane], image.yuvRowBytes[plane], chroma(full), small->yuvPlanes[plane],
                   small->yuvRowBytes[plane], chroma(size));
    }
    if (image.alphaPlane)
        shrink(image.alphaPlane, image.alphaRowBytes, full, small->alphaPlane, small->alphaRowBytes, size);
    return small;
}

} // namespace

WebpHeader readWebpHeader(QByteArrayView bytes)
{
    WebPBitstreamFeatures features;
    WebpHeader header;
    if (WebPGetFeatures(reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size()), &features)
        == VP8_STATUS_OK) {
        header.size = QSize(features.width, features.height);
        header.animated = features.has_animation != 0;
    }
    return header;
}

std::optional<Picture> decodeWebp(QByteArrayView bytes, QSize box, QString* error)
{
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return failure(error, QStringLiteral("WebP decoder cannot start"));
    if (WebPGetFeatures(data, size_t(bytes.size()), &config.input) != VP8_STATUS_OK)
        return failure(error, QStringLiteral("WebP header is unreadable"));
    const QSize full(config.input.width, config.input.height);
    if (!edgesWithinLimits(full))
        return failure(error, QStringLiteral("WEBP declares an absurd size (%1)").arg(sizeText(full)));
    // A lossless picture is decoded whole inside the decoder whatever the
    // output size, so the whole picture is held to the bound.
    if (!pixelsWithinLimits(full))
        return failure(error, QStringLiteral("WEBP too large to decode (%1)").arg(sizeText(full)));

    const QSize size = coverSize(full, box);
    const bool alpha = config.input.has_alpha != 0;
    QImage image(size, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return failure(error, QStringLiteral("no memory to decode the WebP (%1)").arg(sizeText(size)));
    if (size != full) {
        config.options.use_scaling = 1;
        config.options.scaled_width = size.width();
        config.options.scaled_height = size.height();
    }
    config.options.use_threads = 1;
    // Without alpha the fourth byte is still written, as the 0xFF that Format_RGB32 wants.
    config.output.colorspace = alpha ? (kLittleEndian ? MODE_bgrA : MODE_Argb) : (kLittleEndian ? MODE_BGRA : MODE_ARGB);
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(data, size_t(bytes.size()), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return failure(error, status == VP8_STATUS_NOT_ENOUGH_DATA ? QStringLiteral("WebP data is truncated")
                                                                   : QStringLiteral("WebP cannot be decoded (status %1)")
                                                                         .arg(int(status)));
    Picture picture;
    picture.image = std::move(image);
    picture.fullSize = full;
    picture.format = pictureFormatName(PictureFormat::Webp);
    return picture;
}

std::optional<Picture> decodeAvif(QByteArrayView bytes, QSize box, QString* error)
{
    std::unique_ptr<avifDecoder, AvifDecoderDeleter> decoder(avifDecoderCreate());
    if (!decoder)
        return failure(error, QStringLiteral("AVIF decoder cannot start"));
    decoder->maxThreads = std::max(1, QThread::idealThreadCount());
    // The decoder refuses on its own what our bounds refuse, before it allocates.
    decoder->imageSizeLimit = uint32_t(kMaxPicturePixels);
    decoder->imageDimensionLimit = uint32_t(kMaxPictureEdge);
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // Show what a browser shows: files that bend the container's rules a little are common.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    avifResult result =
        avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size()));
    if (result == AVIF_RESULT_OK)
        result = avifDecoderParse(decoder.get());
    if (result != AVIF_RESULT_OK)
        return failure(error, QStringLiteral("AVIF header is unreadable: %1").arg(avifResultToString(result)));

    // Stored: the size of the coded picture; the file may turn it for showing.
    QSize stored = sizeOf(decoder->image->width, decoder->image->height);
    if (!edgesWithinLimits(stored))
        return failure(error, QStringLiteral("AVIF declares an absurd size (%1)").arg(sizeText(stored)));
    if (!pixelsWithinLimits(stored))
        return failure(error, QStringLiteral("AVIF too large to decode (%1)").arg(sizeText(stored)));
    result = avifDecoderNextImage(decoder.get());
    if (result != AVIF_RESULT_OK)
        return failure(error, QStringLiteral("AVIF cannot be decoded: %1").arg(avifResultToString(result)));
    const avifImage& decoded = *decoder->image;
    stored = sizeOf(decoded.width, decoded.height);
    if (!edgesWithinLimits(stored) || !pixelsWithinLimits(stored))
        return failure(error, QStringLiteral("AVIF decoded at an absurd size (%1)").arg(sizeText(stored)));

    const int quarterTurns = (decoded.transformFlags & AVIF_TRANSFORM_IROT) ? decoded.irot.angle & 3 : 0;
    const bool sideways = quarterTurns % 2 != 0;
    const QSize full = sideways ? stored.transposed() : stored;
    const QSize shown = coverSize(full, box);
    const QSize size = sideways ? shown.transposed() : shown;

    AvifImagePtr small;
    const avifImage* source = &decoded;
    if (size != stored) {
        small = shrunkAvif(decoded, size);
        if (!small)
            return failure(error, QStringLiteral("no memory to shrink the AVIF (%1)").arg(sizeText(size)));
        source = small.get();
    }
    QImage image(size, decoded.alphaPlane ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return failure(error, QStringLiteral("no memory to decode the AVIF (%1)").arg(sizeText(size)));
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, source);
    // Without alpha the fourth byte is filled with the 0xFF that Format_RGB32 wants.
    rgb.format = kLittleEndian ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.depth = 8;
    rgb.alphaPremultiplied = AVIF_TRUE;
    rgb.pixels = image.bits();
    rgb.rowBytes = uint32_t(image.bytesPerLine());
    result = avifImageYUVToRGB(source, &rgb);
    if (result != AVIF_RESULT_OK)
        return failure(error, QStringLiteral("AVIF colours cannot be converted: %1").arg(avifResultToString(result)));

    // The file's own turn (anticlockwise quarter turns), then its mirror.
    if (quarterTurns != 0)
        image = image.transformed(QTransform().rotate(-90.0 * quarterTurns));
    if (decoded.transformFlags & AVIF_TRANSFORM_IMIR)
        image = decoded.imir.mode == 0 ? image.mirrored(false, true) : image.mirrored(true, false);

    Picture picture;
    picture.image = std::move(image);
    picture.fullSize = full;
    picture.format = pictureFormatName(PictureFormat::Avif);
    return picture;
}

} // namespace viewing
