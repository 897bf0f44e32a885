#include "web/SavedPictures.h"

#include "viewing/PictureKind.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace web {

SavedPictures::SavedPictures(store::Store& store, const QString& directory)
    : m_prints(store)
    , m_directory(directory)
{
    // Every kind counts, ticked or not: a file kept once is kept.
    QDirIterator it(directory, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString suffix = info.suffix();
        if (suffix.isEmpty()
            || viewing::kindOfExtension(QString(QLatin1Char('.') + suffix), true) == viewing::PictureKind::None)
            continue;
        m_bySize[info.size()] << info.filePath();
    }
}

QString SavedPictures::find(const QString& path, qint64 size, const QByteArray& sha256)
{
    if (sha256.isEmpty())
        return {};
    const QFileInfo self(path);
    for (const QString& candidate : m_bySize.value(size)) {
        if (QFileInfo(candidate) == self)
            continue;
        if (shaOf(candidate, size) == sha256)
            return candidate;
    }
    return {};
}

void SavedPictures::add(const QString& path, qint64 size, const QByteArray& sha256)
{
    QStringList& sameSize = m_bySize[size];
    if (!sameSize.contains(path))
        sameSize << path;
    const QFileInfo info(path);
    if (!sha256.isEmpty() && info.exists())
        m_prints.putFile(path, info.size(), info.lastModified(), store::Fingerprint{sha256, {}, {}});
}

QByteArray SavedPictures::shaOf(const QString& path, qint64 size)
{
    const QFileInfo info(path);
    // Gone or changed since it was listed: not this size any more.
    if (!info.exists() || info.size() != size)
        return {};
    const QDateTime modified = info.lastModified();
    std::optional<store::Fingerprint> print = m_prints.file(path, size, modified);
    if (print && !print->sha256.isEmpty())
        return print->sha256;
    const QByteArray sha = store::sha256OfFile(path);
    if (!sha.isEmpty())
        m_prints.putFile(path, size, modified, store::Fingerprint{sha, {}, {}});
    return sha;
}

} // namespace web
