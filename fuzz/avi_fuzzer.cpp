// Feeds arbitrary bytes to the AVI clip reader. A clip it accepts must come
// back unchanged through the writer and the reader again.

#include "controls/AviFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto clip = readAvi(bytes);
    if (!clip)
        return 0;
    if (clip->size.width() <= 0 || clip->size.height() <= 0 || clip->size.width() > kMaxAviFrameEdge
        || clip->size.height() > kMaxAviFrameEdge) {
        std::fprintf(stderr, "accepted a frame size beyond the limits\n");
        std::abort();
    }
    const auto again = readAvi(writeAvi(*clip));
    if (!again || again->size != clip->size || again->usPerFrame != clip->usPerFrame
        || again->frames != clip->frames) {
        std::fprintf(stderr, "a clip read back differently after writing\n");
        std::abort();
    }
    return 0;
}
