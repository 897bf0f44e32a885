#include "viewing/Thumbnails.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMutex>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <cstdio>

namespace viewing {

namespace {

const QString kUri = QStringLiteral("Thumb::URI");
const QString kMTime = QStringLiteral("Thumb::MTime");
const QString kSize = QStringLiteral("Thumb::Size");
const QString kWidth = QStringLiteral("Thumb::Image::Width");
const QString kHeight = QStringLiteral("Thumb::Image::Height");
// Our own key on a failure: what the decoder said, to say it again.
const QString kError = QStringLiteral("Quillon::Error");

std::atomic<bool> g_enabled{true};
QMutex g_rootMutex;
QString g_root;

QString mimeOf(PictureFormat f)
{
    switch (f) {
    case PictureFormat::Jpeg: return QStringLiteral("image/jpeg");
    case PictureFormat::Png: return QStringLiteral("image/png");
    case PictureFormat::Gif: return QStringLiteral("image/gif");
    case PictureFormat::Bmp: return QStringLiteral("image/bmp");
    case PictureFormat::Webp: return QStringLiteral("image/webp");
    case PictureFormat::Avif: return QStringLiteral("image/avif");
    default: return {};
    }
}

PictureFormat formatOfFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return PictureFormat::Unknown;
    return sniffPictureFormat(f.read(64));
}

QByteArray nameOf(const QString& file)
{
    return QCryptographicHash::hash(ThumbnailCache::uriOf(file), QCryptographicHash::Md5).toHex() + ".png";
}

// The keys that tie a thumbnail to the file as it is now.
bool describes(const QImage& thumb, const QString& file, const QFileInfo& info)
{
    if (thumb.text(kUri).toUtf8() != ThumbnailCache::uriOf(file))
        return false;
    if (thumb.text(kMTime) != QString::number(info.lastModified().toSecsSinceEpoch()))
        return false;
    const QString size = thumb.text(kSize);
    return size.isEmpty() || size == QString::number(info.size());
}

} // namespace

ThumbnailCache::ThumbnailCache(QString root) : m_root(std::move(root)) {}

QString ThumbnailCache::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/thumbnails");
}

int ThumbnailCache::sizeClassFor(QSize box)
{
    const int edge = qMax(box.width(), box.height());
    for (int size : {128, 256, 512})
        if (edge <= size)
            return size;
    return 1024;
}

QString ThumbnailCache::directoryOf(int sizeClass)
{
    switch (sizeClass) {
    case 128: return QStringLiteral("normal");
    case 256: return QStringLiteral("large");
    case 512: return QStringLiteral("x-large");
    default: return QStringLiteral("xx-large");
    }
}

QByteArray ThumbnailCache::uriOf(const QString& file)
{
    return QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toEncoded();
}

QString ThumbnailCache::thumbnailPath(const QString& file, int sizeClass) const
{
    return m_root + QLatin1Char('/') + directoryOf(sizeClass) + QLatin1Char('/') + QString::fromLatin1(nameOf(file));
}

QString ThumbnailCache::failurePath(const QString& file) const
{
    return m_root + QStringLiteral("/fail/quillon-" QUILLON_VERSION "/") + QString::fromLatin1(nameOf(file));
}

std::optional<Picture> ThumbnailCache::find(const QString& file, int sizeClass) const
{
    const QString path = thumbnailPath(file, sizeClass);
    const QFileInfo info(file);
    if (!info.isFile() || !QFileInfo::exists(path))
        return std::nullopt;
    QImage thumb;
    if (!thumb.load(path, "PNG") || !describes(thumb, file, info))
        return std::nullopt;
    Picture p;
    p.fullSize = QSize(thumb.text(kWidth).toInt(), thumb.text(kHeight).toInt());
    // Another program may leave the picture's size out: its header says it.
    if (p.fullSize.isEmpty())
        p.fullSize = QImageReader(file).size();
    const PictureFormat format = formatOfFile(file);
    if (p.fullSize.isEmpty() || mimeOf(format).isEmpty())
        return std::nullopt;
    p.format = pictureFormatName(format);
    p.image = std::move(thumb);
    return p;
}

bool ThumbnailCache::hasFailed(const QString& file) const
{
    const QString path = failurePath(file);
    if (!QFileInfo::exists(path))
        return false;
    QImage mark;
    return mark.load(path, "PNG") && describes(mark, file, QFileInfo(file));
}

bool ThumbnailCache::makeDirectory(const QString& path) const
{
    // Every directory of the cache from the root down is the user's alone.
    if (!QDir().mkpath(path))
        return false;
    const auto privateDir = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (QString dir = path; dir.startsWith(m_root); dir = QFileInfo(dir).path()) {
        QFile::setPermissions(dir, privateDir);
        if (dir == m_root)
            break;
    }
    return true;
}

bool ThumbnailCache::writePng(const QString& target, const QImage& image) const
{
    const QString dir = QFileInfo(target).path();
    if (!makeDirectory(dir))
        return false;
    // A reader never sees half a file: written under another name (mode
    // 0600, as a temporary file is made), then renamed over the target.
    QTemporaryFile temp(dir + QStringLiteral("/.quillon-XXXXXX.png"));
    temp.setAutoRemove(false);
    if (!temp.open())
        return false;
    QImageWriter writer(&temp, "png");
    const bool written = writer.write(image);
    temp.close();
    if (!written || std::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temp.fileName());
        return false;
    }
    return true;
}

bool ThumbnailCache::write(const QString& file, const Picture& decoded, int sizeClass) const
{
    const QFileInfo info(file);
    if (decoded.isNull() || !info.isFile())
        return false;
    QImage thumb = decoded.image;
    if (thumb.width() > sizeClass || thumb.height() > sizeClass)
        thumb = thumb.scaled(sizeClass, sizeClass, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    thumb.setText(kUri, QString::fromUtf8(uriOf(file)));
    thumb.setText(kMTime, QString::number(info.lastModified().toSecsSinceEpoch()));
    thumb.setText(kSize, QString::number(info.size()));
    thumb.setText(QStringLiteral("Thumb::Mimetype"), mimeOf(formatOfFile(file)));
    thumb.setText(kWidth, QString::number(decoded.fullSize.width()));
    thumb.setText(kHeight, QString::number(decoded.fullSize.height()));
    thumb.setText(QStringLiteral("Software"), QStringLiteral("Quillon " QUILLON_VERSION));
    return writePng(thumbnailPath(file, sizeClass), thumb);
}

bool ThumbnailCache::writeFailure(const QString& file, const QString& error) const
{
    const QFileInfo info(file);
    if (!info.isFile())
        return false;
    QImage mark(1, 1, QImage::Format_ARGB32);
    mark.fill(Qt::transparent);
    mark.setText(kUri, QString::fromUtf8(uriOf(file)));
    mark.setText(kMTime, QString::number(info.lastModified().toSecsSinceEpoch()));
    mark.setText(kSize, QString::number(info.size()));
    if (!error.isEmpty())
        mark.setText(kError, error);
    return writePng(failurePath(file), mark);
}

QString ThumbnailCache::failureText(const QString& file) const
{
    QImage mark;
    if (!mark.load(failurePath(file), "PNG"))
        return {};
    return mark.text(kError);
}

void setThumbnailsEnabled(bool on)
{
    g_enabled = on;
}

bool thumbnailsEnabled()
{
    return g_enabled;
}

void setThumbnailRoot(const QString& root)
{
    QMutexLocker lock(&g_rootMutex);
    g_root = root;
}

ThumbnailCache sharedThumbnails()
{
    QMutexLocker lock(&g_rootMutex);
    return g_root.isEmpty() ? ThumbnailCache() : ThumbnailCache(g_root);
}

std::optional<Picture> loadPreview(const QString& path, QSize box, QString* error)
{
    if (!thumbnailsEnabled() || !box.isValid() || mimeOf(formatOfFile(path)).isEmpty())
        return loadPicture(path, box, error);
    const ThumbnailCache cache = sharedThumbnails();
    const int sizeClass = ThumbnailCache::sizeClassFor(box);
    if (std::optional<Picture> thumb = cache.find(path, sizeClass))
        return thumb;
    if (cache.hasFailed(path)) {
        if (error) {
            *error = cache.failureText(path);
            if (error->isEmpty())
                *error = QStringLiteral("画像として読めません");
        }
        return std::nullopt;
    }
    QString why;
    // Decoded as without thumbnails: a decode for the box covers it, a little
    // short of the class at times, which readers of the cache take as it is.
    std::optional<Picture> picture = loadPicture(path, box, &why);
    if (error)
        *error = why;
    QThreadPool::globalInstance()->start([cache, path, picture, sizeClass, why] {
        if (picture)
            cache.write(path, *picture, sizeClass);
        else
            cache.writeFailure(path, why);
    });
    return picture;
}

} // namespace viewing
