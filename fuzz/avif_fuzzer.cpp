// Feeds arbitrary bytes, made to start like an AVIF file, through the picture
// loader's AVIF path (libavif's parse and decode within our bounds, the box
// filter, the colour conversion, the turns) from a buffer, with a box of
// 7 x 5. A picture that loads is an AVIF of the size that covers the
// box; a refusal comes with a message.

#include "GuiFuzzing.h"
#include "viewing/PictureLoader.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    startGuiApplication("avif_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    // A file type box naming AVIF, then the input as the boxes that follow.
    if (bytes.mid(4, 8) != "ftypavif")
        bytes = QByteArray("\0\0\0\x18" "ftypavif\0\0\0\0mif1avif", 24) + bytes;

    // A box smaller than the seeds sends them through the scaling too.
    const QSize box(7, 5);
    QString error;
    const auto picture = viewing::loadPictureData(bytes, box, &error);
    if (!picture) {
        if (error.isEmpty())
            broken("refused without a message");
        return 0;
    }
    if (picture->isNull() || picture->format != QLatin1String("AVIF"))
        broken("loaded something else than an AVIF picture");
    if (!viewing::edgesWithinLimits(picture->fullSize) || !viewing::pixelsWithinLimits(picture->fullSize))
        broken("accepted a size beyond the limits");
    if (picture->image.size() != viewing::coverSize(picture->fullSize, box))
        broken("decoded at another size than the one that covers the box");
    return 0;
}
