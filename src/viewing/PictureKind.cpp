#include "viewing/PictureKind.h"

#include <array>

namespace viewing {

namespace {

struct KindInfo {
    PictureKind kind;
    const char* name;
    const char* extension;
};

constexpr std::array<KindInfo, 6> kKinds{{
    {PictureKind::Jpeg, "JPEG", ".jpg"},
    {PictureKind::Png, "PNG", ".png"},
    {PictureKind::Gif, "GIF", ".gif"},
    {PictureKind::Bmp, "BMP", ".bmp"},
    {PictureKind::Webp, "WEBP", ".webp"},
    {PictureKind::Avif, "AVIF", ".avif"},
}};

// JPEG files named otherwise, taken only with markup.
constexpr std::array<const char*, 3> kOtherJpegExtensions{".jpeg", ".jpe", ".jfif"};

const KindInfo* infoOf(PictureKind kind)
{
    for (const KindInfo& k : kKinds)
        if (k.kind == kind)
            return &k;
    return nullptr;
}

template <class View>
PictureKind kindOfExtensionIn(View extension, bool markup)
{
    for (const KindInfo& k : kKinds)
        if (extension.compare(QLatin1String(k.extension), Qt::CaseInsensitive) == 0)
            return k.kind;
    if (markup)
        for (const char* e : kOtherJpegExtensions)
            if (extension.compare(QLatin1String(e), Qt::CaseInsensitive) == 0)
                return PictureKind::Jpeg;
    return PictureKind::None;
}

bool startsWith(QByteArrayView bytes, QByteArrayView prefix, qsizetype at = 0)
{
    return bytes.size() >= at + prefix.size() && bytes.sliced(at, prefix.size()) == prefix;
}

} // namespace

bool PictureTypes::wants(PictureKind kind) const
{
    switch (kind) {
    case PictureKind::Jpeg: return jpeg;
    case PictureKind::Png: return png;
    case PictureKind::Gif: return gif;
    case PictureKind::Bmp: return bmp;
    case PictureKind::Webp: return webp;
    case PictureKind::Avif: return avif;
    case PictureKind::None: break;
    }
    return false;
}

PictureKind kindOfExtension(QStringView extension, bool markup)
{
    return kindOfExtensionIn(extension, markup);
}

PictureKind kindOfExtension(QByteArrayView extension, bool markup)
{
    return kindOfExtensionIn(QLatin1StringView(extension), markup);
}

PictureKind kindOfSignature(QByteArrayView head)
{
    if (startsWith(head, "\xFF\xD8\xFF"))
        return PictureKind::Jpeg;
    if (startsWith(head, "\x89PNG\r\n\x1A\n"))
        return PictureKind::Png;
    if (startsWith(head, "GIF87a") || startsWith(head, "GIF89a"))
        return PictureKind::Gif;
    if (startsWith(head, "BM"))
        return PictureKind::Bmp;
    if (startsWith(head, "RIFF") && startsWith(head, "WEBP", 8))
        return PictureKind::Webp;
    // An ISO media file whose major brand is an AVIF still or sequence.
    if (startsWith(head, "ftyp", 4) && (startsWith(head, "avif", 8) || startsWith(head, "avis", 8)))
        return PictureKind::Avif;
    return PictureKind::None;
}

PictureKind kindOfContentType(QByteArrayView contentType)
{
    QByteArrayView type = contentType;
    if (const qsizetype semicolon = type.indexOf(';'); semicolon >= 0)
        type = type.first(semicolon);
    const QByteArray t = type.trimmed().toByteArray().toLower();
    if (t == "image/jpeg" || t == "image/jpg" || t == "image/pjpeg")
        return PictureKind::Jpeg;
    if (t == "image/png" || t == "image/apng" || t == "image/x-png")
        return PictureKind::Png;
    if (t == "image/gif")
        return PictureKind::Gif;
    if (t == "image/bmp" || t == "image/x-bmp" || t == "image/x-ms-bmp")
        return PictureKind::Bmp;
    if (t == "image/webp")
        return PictureKind::Webp;
    if (t == "image/avif")
        return PictureKind::Avif;
    return PictureKind::None;
}

QString kindName(PictureKind kind)
{
    const KindInfo* k = infoOf(kind);
    return k ? QString::fromLatin1(k->name) : QString();
}

PictureKind kindOfName(QStringView name)
{
    for (const KindInfo& k : kKinds)
        if (name == QLatin1String(k.name))
            return k.kind;
    return PictureKind::None;
}

QString kindExtension(PictureKind kind)
{
    const KindInfo* k = infoOf(kind);
    return k ? QString::fromLatin1(k->extension) : QString();
}

QStringList wantedExtensions(const PictureTypes& types)
{
    QStringList out;
    for (const KindInfo& k : kKinds)
        if (types.wants(k.kind))
            out << QString::fromLatin1(k.extension);
    if (types.jpeg && types.markup)
        for (const char* e : kOtherJpegExtensions)
            out << QString::fromLatin1(e);
    return out;
}

} // namespace viewing
