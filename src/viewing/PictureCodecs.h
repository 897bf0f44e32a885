#pragma once

// The decoders of the picture loader that work on a file held whole in
// memory: WebP through libwebp, which scales while it decodes, and AVIF
// through libavif, which does not, so the decoded planes are shrunk with a box
// filter before their colours are converted. Both keep to the bounds of
// PictureLimits.h before the decoder allocates anything.

#include "viewing/PictureLoader.h"

#include <QByteArrayView>
#include <QSize>
#include <QString>

#include <optional>

namespace viewing {

// Shared by the loader's decoders: the error told (when asked for) and no
// picture; a size as the messages write it.
std::optional<Picture> failure(QString* error, const QString& message);
QString sizeText(QSize size);

// What the first bytes of a WebP file say: its canvas size (invalid when the
// header cannot be read) and whether it is an animation.
struct WebpHeader
{
    QSize size;
    bool animated = false;
};
WebpHeader readWebpHeader(QByteArrayView bytes);

// A still WebP decoded at coverSize(its size, box), or whole without a box.
std::optional<Picture> decodeWebp(QByteArrayView bytes, QSize box, QString* error);

// The first picture of an AVIF file at coverSize(its size, box), or whole
// without a box, turned and mirrored as the file says.
std::optional<Picture> decodeAvif(QByteArrayView bytes, QSize box, QString* error);

} // namespace viewing
