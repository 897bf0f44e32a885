#pragma once

// Whether a downloaded picture is kept: a picture of a ticked kind by its
// own bytes, its file size within the bounds and its width no more than the
// allowed multiple of its height.

#include "viewing/PictureKind.h"
#include "web/THTTP.h"

#include <QString>
#include <stdexcept>

namespace web {

// A picture that cannot be judged at all (its file cannot be opened, a bound
// is not a number): the slot that holds it stops.
class AcceptError : public std::runtime_error {
public:
    explicit AcceptError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// What a body is by its first bytes. The server's Content-Type settles only
// what the bytes leave open: a body it calls text is no bitmap for the two
// letters "BM" it begins with, and an ISO media file it calls image/avif is
// AVIF whatever its major brand.
viewing::PictureKind kindOfBody(const QByteArray& head, const QByteArray& contentType);

// The verdict on the body of a picture link written into fileName: refused
// when it is no picture, or of a kind neither ticked nor named by the file
// name (a link recorded while its type was ticked is still fetched as it
// was); kept under its name when the name's extension is its kind's (in any
// letter case), else under the name with its kind's extension in place of
// its own.
OutputVerdict judgeDownload(const QByteArray& head, const QByteArray& contentType, const QString& fileName,
                            const viewing::PictureTypes& types);

// The size of a file in bytes, opened for reading only; raises AcceptError
// when it cannot be opened.
qint64 ImageFileSize(const QString& path);

// The size test: bytes div 1000 within [minKb, maxKb], both inclusive.
bool sizeAccepted(qint64 bytes, qint32 minKb, qint32 maxKb);

// The ratio test with the limit in percent: (width div height) may not pass
// (percent div 100), both divisions dropping the remainder, so a limit of
// 250 acts as 200. A height of 0 cannot be judged and passes.
bool ratioAccepted(qint32 width, qint32 height, qint32 percent);

struct AcceptanceSettings {
    bool checkSize = true;
    QString minKb = QStringLiteral("5");
    QString maxKb = QStringLiteral("120");
    bool checkRatio = true;
    QString ratioPercent = QStringLiteral("200");
};

enum class Verdict { Accepted, SizeRefused, RatioRefused };

// Both tests on a downloaded file, as the settings ask. A picture that the
// loader cannot read, or a limit that is not a number, skips the ratio test.
// Raises AcceptError when the file cannot be opened or a size bound is not
// a number. *size gets the file's size.
Verdict judgePicture(const QString& path, const AcceptanceSettings& settings, qint64* size);

} // namespace web
