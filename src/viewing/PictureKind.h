#pragma once

// The kinds of picture the program collects and keeps, told by a file's
// extension, by a server's Content-Type and by the bytes' own signature, and
// the kinds the user has ticked.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace viewing {

enum class PictureKind { None, Jpeg, Png, Gif, Bmp, Webp, Avif };

// The picture types ticked in the settings dialog. markup: pictures found
// by today's page markup are wanted too, and ".jpeg", ".jpe" and ".jfif"
// name JPEG files.
struct PictureTypes {
    bool jpeg = true;
    bool gif = false;
    bool bmp = false;
    bool png = false;
    bool webp = false;
    bool avif = false;
    bool markup = false;

    bool wants(PictureKind kind) const;
    // A type past the first three, or the markup search, is ticked: only
    // then do the places that knew JPEG alone, or a fixed list of types,
    // take the other ticked kinds too.
    bool anyNew() const { return png || webp || avif || markup; }
};

// The kind an extension names (from its "." on, letter case ignored), or
// None. The other JPEG extensions count only with markup.
PictureKind kindOfExtension(QStringView extension, bool markup);
PictureKind kindOfExtension(QByteArrayView extension, bool markup);

// The kind the first bytes of a picture show, or None. Twelve bytes suffice.
PictureKind kindOfSignature(QByteArrayView head);

// The kind a Content-Type value names (parameters and letter case
// ignored), or None.
PictureKind kindOfContentType(QByteArrayView contentType);

// The picture kind as the image table's 画像種別 holds it: "JPEG", "PNG",
// "GIF", "BMP", "WEBP", "AVIF"; empty for None. kindOfName reads it back.
QString kindName(PictureKind kind);
PictureKind kindOfName(QStringView name);

// The extension a file of the kind is saved with: ".jpg", ".png", ".gif",
// ".bmp", ".webp", ".avif"; empty for None.
QString kindExtension(PictureKind kind);

// Every extension, lower case with its dot, that names a wanted kind.
QStringList wantedExtensions(const PictureTypes& types);

} // namespace viewing
