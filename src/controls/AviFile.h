#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>

#include <optional>

// A video clip as a RIFF AVI file holds it: one video stream of JPEG frames
// ('00dc' chunks) shown at a fixed period.
struct AviClip
{
    QSize size;
    int usPerFrame = 0;
    QList<QByteArray> frames;
};

// Largest clip file the reader accepts; the player reads the file whole.
inline constexpr qint64 kMaxAviFileBytes = 16 * 1024 * 1024;
// Largest frame edge the reader accepts.
inline constexpr int kMaxAviFrameEdge = 4096;

// Takes an AVI file apart. Strict: anything that is not a well-formed clip of
// JPEG frames within the limits above (truncated data, chunk sizes past their
// container, a frame count that disagrees with the frames present, absurd
// sizes or periods) gives std::nullopt. Allocates at most the input size.
std::optional<AviClip> readAvi(const QByteArray& data);

// Writes a clip as an AVI file with an index, readable by readAvi.
QByteArray writeAvi(const AviClip& clip);
