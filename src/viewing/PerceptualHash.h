#pragma once

// The perceptual fingerprint of a picture, for finding the same picture again
// after it was resized, re-encoded or slightly cropped. Everything here is
// free of widgets and shared state, so it runs on worker threads.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <bit>
#include <optional>

namespace viewing {

// A 64-bit DCT hash of a picture: grey 32 x 32 (aspect ignored), 2-D DCT-II,
// the 8 x 8 lowest frequencies, each bit 1 where the coefficient is above the
// median of those 64 (the DC term left out of the median, as usual). Bit
// 8 * v + u holds the coefficient of horizontal frequency u and vertical v.
quint64 perceptualHash(const QImage& image);  // image not null

inline int hashDistance(quint64 a, quint64 b) { return std::popcount(a ^ b); }

struct PictureFingerprint
{
    quint64 hash = 0;
    QSize size;  // the picture's full pixel size
};

// Decoded small first: JPEG through the loader's scaled decode (the smallest
// scale that covers 32 x 32), every other kind through the loader the same
// way. Nothing (and a message in *error) when it cannot be read as a picture.
std::optional<PictureFingerprint> fingerprintFile(const QString& path, QString* error = nullptr);
std::optional<PictureFingerprint> fingerprintBytes(const QByteArray& bytes, QString* error = nullptr);

} // namespace viewing
