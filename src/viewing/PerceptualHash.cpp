#include "viewing/PerceptualHash.h"

#include "viewing/PictureLoader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace viewing {

namespace {

constexpr int kSide = 32;    // the grey picture the transform reads
constexpr int kLow = 8;      // the frequencies kept in each direction
const QSize kDecodeBox(kSide, kSide);

// cos((2x + 1) u pi / 64) for the kept frequencies u; the transform's scale
// factors are left out, as only the order of the coefficients matters.
using CosineTable = std::array<std::array<double, kSide>, kLow>;
const CosineTable& cosines()
{
    static const CosineTable table = [] {
        CosineTable t{};
        for (int u = 0; u < kLow; ++u)
            for (int x = 0; x < kSide; ++x)
                t[u][x] = std::cos((2 * x + 1) * u * std::numbers::pi / (2 * kSide));
        return t;
    }();
    return table;
}

std::optional<PictureFingerprint> fingerprintOf(std::optional<Picture> picture, QString* error)
{
    if (!picture)
        return std::nullopt;
    if (picture->isNull()) {
        if (error)
            *error = QStringLiteral("picture is empty");
        return std::nullopt;
    }
    return PictureFingerprint{perceptualHash(picture->image), picture->fullSize};
}

} // namespace

quint64 perceptualHash(const QImage& image)
{
    Q_ASSERT(!image.isNull());
    // Transparent parts count as white, as a viewer on a light page shows them.
    QImage small = image.scaled(kSide, kSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (small.hasAlphaChannel()) {
        small = small.convertToFormat(QImage::Format_ARGB32);
        QImage flat(small.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        for (int y = 0; y < kSide; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(small.constScanLine(y));
            auto* out = reinterpret_cast<QRgb*>(flat.scanLine(y));
            for (int x = 0; x < kSide; ++x) {
                const int a = qAlpha(in[x]);
                const auto mix = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
                out[x] = qRgb(mix(qRed(in[x])), mix(qGreen(in[x])), mix(qBlue(in[x])));
            }
        }
        small = std::move(flat);
    } else {
        small = small.convertToFormat(QImage::Format_RGB32);
    }

    std::array<std::array<double, kSide>, kSide> grey;
    for (int y = 0; y < kSide; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(small.constScanLine(y));
        for (int x = 0; x < kSide; ++x)
            grey[y][x] = 0.299 * qRed(line[x]) + 0.587 * qGreen(line[x]) + 0.114 * qBlue(line[x]);
    }

    // Separable: along the columns first (vertical frequency v of each
    // column x), then along the rows.
    const CosineTable& c = cosines();
    std::array<std::array<double, kSide>, kLow> columns{};
    for (int v = 0; v < kLow; ++v)
        for (int x = 0; x < kSide; ++x) {
            double sum = 0;
            for (int y = 0; y < kSide; ++y)
                sum += c[v][y] * grey[y][x];
            columns[v][x] = sum;
        }
    std::array<double, kLow * kLow> coefficients;
    for (int v = 0; v < kLow; ++v)
        for (int u = 0; u < kLow; ++u) {
            double sum = 0;
            for (int x = 0; x < kSide; ++x)
                sum += c[u][x] * columns[v][x];
            coefficients[v * kLow + u] = sum;
        }

    // The DC term is the mean brightness, far above the rest: it would only
    // shift the median. Of the other 63 the middle one is the median.
    std::array<double, kLow * kLow - 1> ac;
    std::copy(coefficients.begin() + 1, coefficients.end(), ac.begin());
    std::nth_element(ac.begin(), ac.begin() + ac.size() / 2, ac.end());
    const double median = ac[ac.size() / 2];

    quint64 hash = 0;
    for (int i = 0; i < kLow * kLow; ++i)
        if (coefficients[i] > median)
            hash |= quint64(1) << i;
    return hash;
}

std::optional<PictureFingerprint> fingerprintFile(const QString& path, QString* error)
{
    return fingerprintOf(loadPicture(path, kDecodeBox, error), error);
}

std::optional<PictureFingerprint> fingerprintBytes(const QByteArray& bytes, QString* error)
{
    return fingerprintOf(loadPictureData(bytes, kDecodeBox, error), error);
}

} // namespace viewing
