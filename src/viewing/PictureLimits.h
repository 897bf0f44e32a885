#pragma once

#include <QSize>
#include <QString>

namespace viewing {

// One bound for every picture format, checked from the header before any
// pixel memory is taken: an edge longer than this, or more pixels than the
// second bound in the image actually decoded (after any scaling), makes the
// load fail.
inline constexpr int kMaxPictureEdge = 30'000;
inline constexpr qint64 kMaxPicturePixels = 200'000'000;

// Metafiles are read whole; a larger file is not a drawing we can show.
inline constexpr qint64 kMaxMetafileBytes = 64 * 1024 * 1024;

// Files up to this size are read whole and decoded from memory. A larger JPEG
// is decoded as it is read, more slowly but without holding its bytes; a
// larger WebP or AVIF, whose decoders take the file whole, is not loaded.
inline constexpr qint64 kMaxPictureBytesInMemory = 256 * 1024 * 1024;

// True when a picture of this declared size may be loaded at all.
inline bool edgesWithinLimits(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxPictureEdge
        && size.height() <= kMaxPictureEdge;
}

// True when an image of this size may be allocated.
inline bool pixelsWithinLimits(QSize size)
{
    return size.width() > 0 && size.height() > 0
        && qint64(size.width()) * size.height() <= kMaxPicturePixels;
}

} // namespace viewing
