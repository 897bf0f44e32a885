#pragma once

// Test data and figures shared by the benchmark programs.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdio>

namespace bench {

// A photograph-like 12-megapixel picture: smooth shading with fine grain,
// which JPEG codes to a size like a camera's at quality 90 (about 2.7 MB).
inline QByteArray makePhoto()
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            line[x] = qRgb(qBound(0, x * 255 / 4000 + grain, 255), qBound(0, y * 255 / 3000 + grain, 255),
                           qBound(0, 128 + (x - y) / 64 + grain, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

// Writes count distinct copies of the photo into dir as photoNNNN.jpg; 0 on success.
inline int writePhotos(const QString& dir, int count)
{
    QDir().mkpath(dir);
    const QByteArray picture = makePhoto();
    for (int i = 0; i < count; ++i) {
        // A comment segment right after the start marker makes every file distinct.
        const QByteArray comment = QStringLiteral("picture %1").arg(i, 4, 10, QLatin1Char('0')).toLatin1();
        QByteArray bytes = picture.left(2);
        bytes += char(0xFF);
        bytes += char(0xFE);
        bytes += char((comment.size() + 2) >> 8);
        bytes += char((comment.size() + 2) & 0xFF);
        bytes += comment;
        bytes += picture.mid(2);
        QFile f(QStringLiteral("%1/photo%2.jpg").arg(dir).arg(i, 4, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
    }
    std::fprintf(stderr, "%d files of %lld bytes\n", count, static_cast<long long>(picture.size() + 13));
    return 0;
}

// A "Vm...:" line of /proc/self/status, in MB; -1 when it cannot be read.
inline double statusMb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

} // namespace bench
