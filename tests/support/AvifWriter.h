#pragma once

// AVIF test files written with libavif's encoder (the AV1 encoder Debian
// builds it with), independent of the decoding path the loader takes.

#include <QByteArray>
#include <QImage>

#include <avif/avif.h>

#include <QSysInfo>

// image as an 8-bit 4:2:0 AVIF (with its alpha when it has one), marked to be
// shown turned by quarterTurns anticlockwise quarter turns.
inline QByteArray avifOf(const QImage& image, int quarterTurns = 0)
{
    const bool alpha = image.hasAlphaChannel();
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    avifImage* yuv = avifImageCreate(uint32_t(argb.width()), uint32_t(argb.height()), 8, AVIF_PIXEL_FORMAT_YUV420);
    if (quarterTurns != 0) {
        yuv->transformFlags |= AVIF_TRANSFORM_IROT;
        yuv->irot.angle = uint8_t(quarterTurns & 3);
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, yuv);
    rgb.format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.ignoreAlpha = alpha ? AVIF_FALSE : AVIF_TRUE;
    rgb.pixels = const_cast<uint8_t*>(argb.constBits());
    rgb.rowBytes = uint32_t(argb.bytesPerLine());
    avifEncoder* encoder = avifEncoderCreate();
    encoder->speed = AVIF_SPEED_FASTEST;
    encoder->minQuantizer = encoder->maxQuantizer = 10;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    avifRWData out = AVIF_DATA_EMPTY;
    if (avifImageRGBToYUV(yuv, &rgb) != AVIF_RESULT_OK || avifEncoderWrite(encoder, yuv, &out) != AVIF_RESULT_OK)
        qFatal("cannot write a test AVIF");
    const QByteArray bytes(reinterpret_cast<const char*>(out.data), qsizetype(out.size));
    avifRWDataFree(&out);
    avifEncoderDestroy(encoder);
    avifImageDestroy(yuv);
    return bytes;
}
