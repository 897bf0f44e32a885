// Feeds arbitrary bytes, made to start like a WebP file, through the picture
// loader's WebP path (libwebp's scaled decode for stills, Qt's reader for
// animations) from a buffer, with a box of 7 x 5. A picture that loads
// is a WebP of the size that covers the box; a refusal comes with a message.

#include "GuiFuzzing.h"
#include "viewing/PictureLoader.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    startGuiApplication("webp_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!(bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")) {
        // RIFF, a length, WEBP, then the input as the chunks.
        QByteArray head("RIFF\0\0\0\0WEBP", 12);
        const quint32 length = quint32(size + 4);
        for (int i = 0; i < 4; ++i)
            head[4 + i] = char((length >> (8 * i)) & 0xFF);
        bytes = head + bytes;
    }

    // A box smaller than the seeds sends them through the scaling too.
    const QSize box(7, 5);
    QString error;
    const auto picture = viewing::loadPictureData(bytes, box, &error);
    if (!picture) {
        if (error.isEmpty())
            broken("refused without a message");
        return 0;
    }
    if (picture->isNull() || picture->format != QLatin1String("WEBP"))
        broken("loaded something else than a WebP picture");
    if (!viewing::edgesWithinLimits(picture->fullSize) || !viewing::pixelsWithinLimits(picture->fullSize))
        broken("accepted a size beyond the limits");
    if (picture->image.size() != viewing::coverSize(picture->fullSize, box))
        broken("decoded at another size than the one that covers the box");
    return 0;
}
