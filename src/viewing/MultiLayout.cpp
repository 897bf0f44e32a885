#include "viewing/MultiLayout.h"

#include "store/TextToInt.h"

#include <algorithm>
#include <limits>

namespace viewing {

namespace {

int toInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

MultiLayoutResult failure(MultiLayoutResult::Error error, const QString& message)
{
    MultiLayoutResult r;
    r.error = error;
    r.message = message;
    return r;
}

} // namespace

QString tooManyCellsMessage()
{
    return QStringLiteral("イメージの最大表示個数は ６０ です");
}

MultiLayoutResult computeMultiLayout(const MultiSettings& settings)
{
    bool ok = false;
    const qint64 rows = store::toInteger(settings.rows, &ok);
    if (!ok)
        return failure(MultiLayoutResult::Error::NotANumber,
                       QStringLiteral("'%1' は正しい整数値ではありません").arg(settings.rows));
    const qint64 columns = store::toInteger(settings.columns, &ok);
    if (!ok)
        return failure(MultiLayoutResult::Error::NotANumber,
                       QStringLiteral("'%1' は正しい整数値ではありません").arg(settings.columns));
    // Both factors fit in 32 bits, so their product cannot overflow 64.
    if (rows * columns > kMultiCells)
        return failure(MultiLayoutResult::Error::TooManyCells, tooManyCellsMessage());

    const qint64 s = settings.size;
    const qint64 width = s + settings.hiritsu;
    const qint64 band = settings.titles ? settings.titleHeight : 0;

    // The walk steps along a row and starts a new one when the column count
    // is passed; no division, so a count of 0 or less only means that every
    // cell, the first included, opens a row of its own.
    MultiLayoutResult r;
    r.rects.captionsVisible = settings.titles;
    qint64 c = 0, x = -width, y = 0;
    for (int i = 0; i < kMultiCells; ++i) {
        ++c;
        x += width;
        if (c > columns) {
            x = 0;
            y += s + band;
            c = 1;
        }
        r.rects.pictures[size_t(i)] = QRect(toInt(x), toInt(y), toInt(width), toInt(s));
        r.rects.captions[size_t(i)] = QRect(toInt(x), toInt(y + s), toInt(width), toInt(band));
    }
    return r;
}

} // namespace viewing
