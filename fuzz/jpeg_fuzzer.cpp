// Feeds arbitrary bytes, made to start like a JPEG file, through the picture
// loader's JPEG path (the completeness walk, the header bounds, the scaled
// decode) from a buffer, with the record picture box. A picture that
// loads must be the size the decoding rule gives for its full size; a refusal
// must come with a message.

#include "GuiFuzzing.h"
#include "viewing/PictureLoader.h"

#include <QBuffer>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The decoder warns about every corrupt input; the log would drown the run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    startGuiApplication("jpeg_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes("\xFF\xD8\xFF", 3);
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    else
        bytes.append(reinterpret_cast<const char*>(data), qsizetype(size));

    const QSize box(273, 288);
    QString error;
    const auto picture = viewing::loadPictureData(bytes, box, &error);
    if (!picture) {
        if (error.isEmpty())
            broken("refused without a message");
        return 0;
    }
    if (picture->isNull() || picture->format != QLatin1String("JPEG"))
        broken("loaded something else than a JPEG picture");
    if (!viewing::edgesWithinLimits(picture->fullSize))
        broken("accepted a size beyond the limits");
    if (picture->image.size() != viewing::scaledDecodeSize(picture->fullSize, box))
        broken("decoded at another size than the rule gives");

    // The full-size path too, for pictures small enough to decode quickly.
    if (qint64(picture->fullSize.width()) * picture->fullSize.height() <= 1'000'000) {
        const auto full = viewing::loadPictureData(bytes);
        if (full && full->image.size() != full->fullSize)
            broken("full decode of another size");
    }
    return 0;
}
