#pragma once

// The picture loader that all views use. JPEG through libjpeg-turbo, decoded
// at a reduced scale where the picture is shown smaller than it is (CMYK JPEG
// and files too large to hold in memory through Qt's JPEG reader); still WebP
// through libwebp, which scales while it decodes; AVIF through libavif,
// decoded whole and shrunk with a box filter; PNG, GIF, BMP, ICO and animated
// WebP (its first picture) through Qt's readers; placeable WMF and EMF through
// our own metafile reader. The format comes from the file's first bytes, never
// from its name. No load allocates without a bound (see PictureLimits.h).
//
// A JPEG file must be complete: one that ends before its end-of-image marker
// (a download still being written, a cut file) is a failure, not the partial
// picture the decoder could make of it, so that a caller can retry later.
// WebP and AVIF files are decoded from their whole bytes and fail as well
// when cut short.

#include "viewing/PictureLimits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

class QIODevice;

namespace viewing {

struct Picture
{
    QImage image;     // may be smaller than fullSize when decoded for a box
    QSize fullSize;   // the picture's true width and height in pixels
    QString format;   // "JPEG", "PNG", "GIF", "BMP", "WEBP", "AVIF", "ICO", "WMF" or "EMF"
    bool isMetafile = false;
    bool isIcon = false;

    bool isNull() const { return image.isNull(); }
};

enum class PictureFormat { Unknown, Jpeg, Png, Gif, Bmp, Webp, Avif, Ico, Wmf, Emf };

// The format that a file's first bytes announce (pass at least 44 of them):
// the picture kinds by their signatures, ICO and the metafiles besides.
PictureFormat sniffPictureFormat(QByteArrayView head);
QString pictureFormatName(PictureFormat format);

// The size at which a picture of size full is decoded to be shown in box: the
// full size when box is not valid or the picture fits into it; otherwise the
// smallest JPEG decoding scale (1/2, 1/4, 1/8) whose result still covers the
// box in both directions with the aspect ratio kept, or, for a picture more
// than 16 times the box, the size that just covers the box.
QSize scaledDecodeSize(QSize full, QSize box);

// The size at which a picture of size full is kept to be shown in box when
// its decoder has no scales of its own: the full size when box is not valid or
// the picture fits into it; otherwise the smallest size with the picture's
// aspect ratio that covers box, its edges rounded up.
QSize coverSize(QSize full, QSize box);

// Loads a picture file. box: the largest size it will be shown at (invalid for
// the full size); a picture larger than box then comes at scaledDecodeSize
// (JPEG) or coverSize (every other format), and the caller scales the rest. On failure: nothing,
// with a message in *error.
std::optional<Picture> loadPicture(const QString& path, QSize box = {}, QString* error = nullptr);

// The same for a picture held in memory (an image-table blob) or any
// random-access device positioned at the picture's first byte.
std::optional<Picture> loadPictureData(const QByteArray& data, QSize box = {}, QString* error = nullptr);
std::optional<Picture> loadPictureFrom(QIODevice& device, QSize box = {}, QString* error = nullptr);

// What a walk over a JPEG stream's markers found: whether it runs from its
// start marker through its segments and entropy-coded data to an end-of-image
// marker, the frame header's size and component count, and the scans.
struct JpegLayout
{
    bool complete = false;
    bool progressive = false;
    QSize size;
    int components = 0;
    int scans = 0;
};

// Walks a JPEG stream from the device's current position in chunks, without
// decoding, and leaves the device at an unspecified position.
JpegLayout scanJpeg(QIODevice& device);

// Whether a JPEG stream runs from its start marker through its segments and
// entropy-coded data to an end-of-image marker. Reads the device from its
// current position in chunks and leaves it at an unspecified position.
bool jpegIsComplete(QIODevice& device);

} // namespace viewing
