// Feeds arbitrary bytes, made to start like a PNG, GIF, BMP or ICO file
// (chosen by the first byte), through the picture loader's wrapper of Qt's
// readers with the record picture box. A picture that loads keeps within the
// limits; a refusal comes with a message.

#include "GuiFuzzing.h"
#include "viewing/PictureLoader.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    startGuiApplication("picture_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const QByteArray heads[] = {QByteArray("\x89PNG\r\n\x1a\n", 8), QByteArray("GIF89a"), QByteArray("BM"),
                                       QByteArray("\0\0\1\0", 4)};
    const QByteArray& head = heads[data[0] % 4];
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (!bytes.startsWith(head))
        bytes.prepend(head);

    QString error;
    const auto picture = viewing::loadPictureData(bytes, QSize(273, 288), &error);
    if (!picture) {
        if (error.isEmpty())
            broken("refused without a message");
        return 0;
    }
    if (picture->isNull())
        broken("loaded an empty picture");
    if (!viewing::pixelsWithinLimits(picture->image.size()) || !viewing::edgesWithinLimits(picture->fullSize))
        broken("accepted a size beyond the limits");
    return 0;
}
