#include "web/Acceptance.h"

#include "store/TextToInt.h"
#include "viewing/PictureLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace web {

viewing::PictureKind kindOfBody(const QByteArray& head, const QByteArray& contentType)
{
    using viewing::PictureKind;
    const PictureKind kind = viewing::kindOfSignature(head);
    const QByteArray declared = contentType.trimmed().toLower();
    if (kind == PictureKind::Bmp && declared.startsWith("text/"))
        return PictureKind::None;
    if (kind == PictureKind::None && head.mid(4, 4) == "ftyp"
        && viewing::kindOfContentType(contentType) == PictureKind::Avif)
        return PictureKind::Avif;
    return kind;
}

OutputVerdict judgeDownload(const QByteArray& head, const QByteArray& contentType, const QString& fileName,
                            const viewing::PictureTypes& types)
{
    const viewing::PictureKind kind = kindOfBody(head, contentType);
    if (kind == viewing::PictureKind::None) {
        const QString declared = contentType.isEmpty()
                                     ? QStringLiteral("Content-Type なし")
                                     : QStringLiteral("Content-Type: ") + QString::fromLatin1(contentType.left(80));
        return {{}, QStringLiteral("画像ではありません (%1)").arg(declared)};
    }
    const QString suffix = QFileInfo(fileName).suffix();
    const bool named = !suffix.isEmpty() && viewing::kindOfExtension(QLatin1Char('.') + suffix, types.markup) == kind;
    if (!types.wants(kind) && !named)
        return {{}, QStringLiteral("対象外の画像です : ") + viewing::kindName(kind)};
    const QString extension = viewing::kindExtension(kind);
    if (named && (QLatin1Char('.') + suffix).compare(extension, Qt::CaseInsensitive) == 0)
        return {fileName, {}};
    return {fileName.left(fileName.size() - (suffix.isEmpty() ? 0 : suffix.size() + 1)) + extension, {}};
}

qint64 ImageFileSize(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AcceptError(QStringLiteral("ファイル %1 を開けません: %2").arg(QDir::toNativeSeparators(path), f.errorString()));
    return f.size();
}

bool sizeAccepted(qint64 bytes, qint32 minKb, qint32 maxKb)
{
    const qint64 kb = bytes / 1000;
    return kb >= minKb && kb <= maxKb;
}

bool ratioAccepted(qint32 width, qint32 height, qint32 percent)
{
    if (height == 0)
        return true;
    return width / height <= percent / 100;
}

Verdict judgePicture(const QString& path, const AcceptanceSettings& settings, qint64* size)
{
    *size = ImageFileSize(path);
    if (settings.checkSize) {
        bool okMin = false;
        bool okMax = false;
        const qint32 minKb = store::toInteger(settings.minKb, &okMin);
        const qint32 maxKb = store::toInteger(settings.maxKb, &okMax);
        if (!okMin || !okMax)
            throw AcceptError(QStringLiteral("ファイルサイズの範囲が数ではありません : %1 - %2")
                                  .arg(settings.minKb, settings.maxKb));
        if (!sizeAccepted(*size, minKb, maxKb))
            return Verdict::SizeRefused;
    }
    if (settings.checkRatio) {
        bool ok = false;
        const qint32 percent = store::toInteger(settings.ratioPercent, &ok);
        // Only the size is needed: a small decode gives it.
        const auto picture = ok ? viewing::loadPicture(path, QSize(64, 64)) : std::nullopt;
        if (picture && !ratioAccepted(picture->fullSize.width(), picture->fullSize.height(), percent))
            return Verdict::RatioRefused;
    }
    return Verdict::Accepted;
}

} // namespace web
