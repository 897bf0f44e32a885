// Feeds arbitrary bytes to the metafile reader. Whatever parse() accepts must
// have a size within the picture limits and must draw into an image of the
// size asked for; whatever it refuses must come with a message.

#include "GuiFuzzing.h"
#include "viewing/Metafile.h"
#include "viewing/PictureLimits.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    startGuiApplication("metafile_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Raw data over the fuzzer's own buffer: any read past the end is caught.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto file = viewing::Metafile::parse(bytes, &error);
    if (!file) {
        if (error.isEmpty())
            broken("refused without a message");
        return 0;
    }
    if (!viewing::edgesWithinLimits(file->size()))
        broken("accepted a size beyond the limits");
    // Small targets keep the runs fast; the drawing code is the same at any size.
    QSize target = file->size();
    if (target.width() > 160 || target.height() > 160)
        target = target.scaled(160, 160, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const QImage image = file->render(target);
    if (image.size() != target)
        broken("drew an image of another size");
    return 0;
}
