#pragma once

// The desktop's shared thumbnails of picture files (the freedesktop.org
// thumbnail standard): PNG files under $XDG_CACHE_HOME/thumbnails, in one
// directory per size class, named by the MD5 of the file's URI, valid while
// their Thumb::URI, Thumb::MTime and (when present) Thumb::Size match the
// file. File managers read what Quillon writes and Quillon what they write.
// Pictures that could not be decoded are recorded under fail/quillon-<version>
// so that they are not tried again until they change.

#include "viewing/PictureLoader.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace viewing {

class ThumbnailCache {
public:
    // root: the "thumbnails" directory; by default the desktop's.
    explicit ThumbnailCache(QString root = defaultRoot());
    static QString defaultRoot();
    QString root() const { return m_root; }

    // The size classes: 128 "normal", 256 "large", 512 "x-large", 1024
    // "xx-large". The smallest whose edge is at least the box's longer side
    // (the largest for any bigger box).
    static int sizeClassFor(QSize box);
    static QString directoryOf(int sizeClass);
    // "file:///..." of the file's absolute path, percent-encoded.
    static QByteArray uriOf(const QString& file);

    QString thumbnailPath(const QString& file, int sizeClass) const;
    QString failurePath(const QString& file) const;

    // The valid thumbnail of the file in the size class; none when there is
    // none or it is stale (the file changed since, or is another file).
    std::optional<Picture> find(const QString& file, int sizeClass) const;
    // Whether a failure to decode the file, as it is now, was recorded.
    bool hasFailed(const QString& file) const;

    // Writes the thumbnail of the file from a decode of it, scaled down to
    // fit the class when larger: PNG with the standard's keys, through a
    // temporary file of the same directory renamed into place, mode 0600 in
    // directories of 0700.
    bool write(const QString& file, const Picture& decoded, int sizeClass) const;
    // error: what the decoder said, kept to be said again.
    bool writeFailure(const QString& file, const QString& error = {}) const;
    QString failureText(const QString& file) const;

private:
    bool makeDirectory(const QString& path) const;
    bool writePng(const QString& target, const QImage& image) const;

    QString m_root;
};

// Whether the views read and write shared thumbnails at all (the setting
// "サムネイルを保存する"); on at first.
void setThumbnailsEnabled(bool on);
bool thumbnailsEnabled();
// Where the views' cache lies; tests point it at a directory of their own.
void setThumbnailRoot(const QString& root);
ThumbnailCache sharedThumbnails();

// A picture file for a preview of the given box: its valid thumbnail when
// there is one, else decoded as loadPicture does, with the thumbnail (or the
// failure) written on a worker thread for next time. Without thumbnails, just
// loadPicture.
std::optional<Picture> loadPreview(const QString& path, QSize box, QString* error = nullptr);

} // namespace viewing
