#include "viewing/PictureLoader.h"

#include "viewing/Metafile.h"
#include "viewing/PictureCodecs.h"
#include "viewing/PictureKind.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace viewing {

namespace {

// Qt refuses by itself to allocate an image beyond its allocation limit; ours
// is the pixel bound at four bytes a pixel, so that our own header checks, not
// Qt's default, decide which pictures are too large.
void raiseAllocationLimit()
{
    static const bool done = [] {
        QImageReader::setAllocationLimit(int((kMaxPicturePixels * 4 + (1 << 20) - 1) >> 20));
        return true;
    }();
    Q_UNUSED(done);
}

// The smallest size with the picture's aspect ratio that covers box, never
// larger than the picture.
QSize sizeCovering(QSize full, QSize box)
{
    const qint64 w = full.width(), h = full.height();
    qint64 cw, ch;
    if (qint64(box.width()) * h >= qint64(box.height()) * w) {
        cw = box.width();
        ch = (h * box.width() + w - 1) / w;
    } else {
        ch = box.height();
        cw = (w * box.height() + h - 1) / h;
    }
    return QSize(int(std::min(cw, w)), int(std::min(ch, h)));
}

// Walks the marker structure of a JPEG stream fed in pieces: segments by their
// lengths, entropy-coded data by its 0xFF escapes, until the end-of-image
// marker. Bytes between segments are tolerated as the decoder tolerates them.
class JpegWalk
{
public:
    enum class Result { NeedMore, Complete, Corrupt };

    Result feed(const uchar* p, qint64 n)
    {
        qint64 i = 0;
        while (i < n) {
            switch (m_state) {
            case State::Soi0:
                if (p[i++] != 0xFF)
                    return Result::Corrupt;
                m_state = State::Soi1;
                break;
            case State::Soi1:
                if (p[i++] != 0xD8)
                    return Result::Corrupt;
                m_state = State::MarkerFF;
                break;
            case State::MarkerFF:
                if (p[i++] == 0xFF)
                    m_state = State::MarkerCode;
                break;
            case State::MarkerCode: {
                const uchar code = p[i++];
                if (code == 0xFF)
                    break;  // fill byte
                if (code == 0xD9)
                    return Result::Complete;
                if (code == 0xD8)
                    return Result::Corrupt;
                if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
                    m_state = m_inScan ? State::Entropy : State::MarkerFF;
                    break;
                }
                m_code = code;
                m_state = State::Length0;
                break;
            }
            case State::Length0:
                m_skip = qint64(p[i++]) << 8;
                m_state = State::Length1;
                break;
            case State::Length1:
                m_skip |= p[i++];
                if (m_skip < 2)
                    return Result::Corrupt;
                m_skip -= 2;
                m_kept = 0;
                m_state = State::Skip;
                if (m_skip == 0)
                    endSegment();
                break;
            case State::Skip: {
                const qint64 take = std::min(m_skip, n - i);
                for (qint64 k = 0; k < take && m_kept < qint64(sizeof m_segment); ++k)
                    m_segment[m_kept++] = p[i + k];
                i += take;
                m_skip -= take;
                if (m_skip == 0)
                    endSegment();
                break;
            }
            case State::Entropy: {
                const void* ff = std::memchr(p + i, 0xFF, size_t(n - i));
                if (!ff)
                    return Result::NeedMore;
                i = static_cast<const uchar*>(ff) - p + 1;
                m_state = State::MarkerCode;
                break;
            }
            }
        }
        return Result::NeedMore;
    }

    const JpegLayout& layout() const { return m_layout; }

private:
    void endSegment()
    {
        const bool frame = m_code >= 0xC0 && m_code <= 0xCF && m_code != 0xC4 && m_code != 0xC8 && m_code != 0xCC;
        if (frame && m_kept >= 6) {
            m_layout.size = QSize((m_segment[3] << 8) | m_segment[4], (m_segment[1] << 8) | m_segment[2]);
            m_layout.components = m_segment[5];
            m_layout.progressive = m_code == 0xC2 || m_code == 0xC6 || m_code == 0xCA || m_code == 0xCE;
        }
        // Scan data follows a start-of-scan header; a progressive file has
        // several scans with tables between them.
        if (m_code == 0xDA) {
            m_inScan = true;
            ++m_layout.scans;
        }
        m_state = m_inScan ? State::Entropy : State::MarkerFF;
    }

    enum class State { Soi0, Soi1, MarkerFF, MarkerCode, Length0, Length1, Skip, Entropy };
    State m_state = State::Soi0;
    uchar m_code = 0;
    qint64 m_skip = 0;
    bool m_inScan = false;
    uchar m_segment[6] = {};
    qint64 m_kept = 0;
    JpegLayout m_layout;
};

const char* qtFormatKey(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Jpeg: return "jpeg";
    case PictureFormat::Png: return "png";
    case PictureFormat::Gif: return "gif";
    case PictureFormat::Bmp: return "bmp";
    case PictureFormat::Ico: return "ico";
    case PictureFormat::Webp: return "webp";
    default: return "";
    }
}

int clampedEdge(qint64 v)
{
    return int(std::min<qint64>(std::abs(v), std::numeric_limits<int>::max()));
}

// The size a PNG, GIF or BMP header declares, read by us before any reader
// sees the file: some readers cannot tell their size without decoding. An
// invalid size where the header holds none we can read.
QSize declaredSize(PictureFormat format, QByteArrayView head)
{
    const char* p = head.data();
    switch (format) {
    case PictureFormat::Png:
        if (head.size() >= 24 && std::memcmp(p + 12, "IHDR", 4) == 0)
            return QSize(clampedEdge(qFromBigEndian<quint32>(p + 16)), clampedEdge(qFromBigEndian<quint32>(p + 20)));
        break;
    case PictureFormat::Gif:
        if (head.size() >= 10)
            return QSize(qFromLittleEndian<quint16>(p + 6), qFromLittleEndian<quint16>(p + 8));
        break;
    case PictureFormat::Bmp:
        if (head.size() >= 26 && qFromLittleEndian<quint32>(p + 14) == 12)
            return QSize(qFromLittleEndian<quint16>(p + 18), qFromLittleEndian<quint16>(p + 20));
        if (head.size() >= 26)  // a negative height is a top-down bitmap
            return QSize(clampedEdge(qFromLittleEndian<qint32>(p + 18)), clampedEdge(qFromLittleEndian<qint32>(p + 22)));
        break;
    default:
        break;
    }
    return QSize();
}

std::optional<Picture> readWithQt(QIODevice& device, PictureFormat format, QSize box, QString* error)
{
    raiseAllocationLimit();
    const QString name = pictureFormatName(format);
    const QSize declared = declaredSize(format, device.peek(64));
    if (declared.isValid() && !edgesWithinLimits(declared))
        return failure(error, QStringLiteral("%1 declares an absurd size (%2)").arg(name, sizeText(declared)));
    if (declared.isValid() && !pixelsWithinLimits(declared))
        return failure(error, QStringLiteral("%1 too large to decode (%2)").arg(name, sizeText(declared)));

    QImageReader reader(&device, qtFormatKey(format));
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(false);
    const QSize full = reader.size();
    QSize decode = full;
    if (full.isValid()) {
        if (!edgesWithinLimits(full))
            return failure(error, QStringLiteral("%1 declares an absurd size (%2)").arg(name, sizeText(full)));
        if (format == PictureFormat::Jpeg)
            decode = scaledDecodeSize(full, box);
        if (!pixelsWithinLimits(decode))
            return failure(error, QStringLiteral("%1 too large to decode (%2)").arg(name, sizeText(decode)));
        if (decode != full)
            reader.setScaledSize(decode);
    } else if (format == PictureFormat::Jpeg) {
        return failure(error, QStringLiteral("JPEG header is unreadable: %1").arg(reader.errorString()));
    }
    // Readers that cannot tell the size beforehand are held by the allocation limit.
    QImage image = reader.read();
    if (image.isNull())
        return failure(error, QStringLiteral("%1 cannot be decoded: %2").arg(name, reader.errorString()));
    if (!edgesWithinLimits(image.size()))
        return failure(error, QStringLiteral("%1 declares an absurd size (%2)").arg(name, sizeText(image.size())));

    Picture picture;
    picture.fullSize = decode != full ? full : image.size();
    // Qt's other readers have no scales of their own: a picture larger than
    // the box is kept at the size that covers it, not whole.
    if (format != PictureFormat::Jpeg) {
        const QSize shown = coverSize(image.size(), box);
        if (shown != image.size())
            image = image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    picture.image = std::move(image);
    picture.format = name;
    picture.isIcon = format == PictureFormat::Ico;
    return picture;
}

// The bytes from the device's position to its end, at most limit of them,
// read in pieces so that a small file never costs a buffer of the limit's
// size. More than limit when the device holds more.
QByteArray readUpTo(QIODevice& device, qint64 limit)
{
    if (!device.isSequential())
        return device.read(std::min(device.size() - device.pos(), limit + 1));
    QByteArray data;
    while (data.size() <= limit) {
        const QByteArray chunk = device.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        data += chunk;
    }
    return data;
}

// A picture held whole in memory: the bytes of a buffer device from its
// position on, or a file read in one go. TurboJPEG, libwebp and libavif decode
// only from memory; in return TurboJPEG reads the entropy-coded data at full
// speed, where a reader fed in small pieces keeps falling back to its slow path.
class WholeBytes
{
public:
    // Empty when the device is neither a buffer nor a file, or the file is
    // larger than we read whole; the caller then streams it.
    explicit WholeBytes(QIODevice& device)
    {
        const qint64 start = device.pos();
        if (auto* buffer = qobject_cast<QBuffer*>(&device)) {
            m_view = QByteArrayView(buffer->data()).sliced(std::min<qint64>(start, buffer->data().size()));
        } else if (auto* file = qobject_cast<QFile*>(&device)) {
            const qint64 size = file->size() - start;
            if (size <= 0 || size > kMaxPictureBytesInMemory)
                return;
            // Read rather than mapped: a file cut short by another program
            // while it is mapped would end the process with a bus error.
            m_owned = file->read(size);
            if (m_owned.size() != size || !file->seek(start)) {
                m_owned.clear();
                file->seek(start);
                return;
            }
            m_view = m_owned;
        }
    }

    // The same for decoders that cannot stream: any other device is read
    // whole too, up to the bound. False when it holds more.
    bool readRest(QIODevice& device)
    {
        if (isValid() || qobject_cast<QBuffer*>(&device) || qobject_cast<QFile*>(&device))
            return isValid();
        m_owned = readUpTo(device, kMaxPictureBytesInMemory);
        m_view = m_owned;
        return isValid() && m_owned.size() <= kMaxPictureBytesInMemory;
    }

    bool isValid() const { return !m_view.isEmpty(); }
    const uchar* data() const { return reinterpret_cast<const uchar*>(m_view.data()); }
    qint64 size() const { return m_view.size(); }
    QByteArrayView view() const { return m_view; }

private:
    QByteArray m_owned;
    QByteArrayView m_view;
};

class TurboJpegHandle
{
public:
    TurboJpegHandle() : m_handle(tjInitDecompress()) {}
    ~TurboJpegHandle()
    {
        if (m_handle)
            tjDestroy(m_handle);
    }
    TurboJpegHandle(const TurboJpegHandle&) = delete;
    TurboJpegHandle& operator=(const TurboJpegHandle&) = delete;

    tjhandle get() const { return m_handle; }
    QString errorText() const { return QString::fromLocal8Bit(tjGetErrorStr2(m_handle)); }

private:
    tjhandle m_handle;
};

// The decoding scale for a wanted size, as a JPEG decoder picks it: the
// largest of 1/2, 1/4, 1/8 whose result is not smaller than the size wanted.
int scaleDenominator(QSize full, QSize wanted)
{
    if (wanted == full || wanted.isEmpty())
        return 1;
    const int ratio = std::min(full.width() / wanted.width(), full.height() / wanted.height());
    return ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
}

enum class JpegOutcome { Decoded, Failed, NotHandled };

// A complete JPEG in memory through TurboJPEG. NotHandled for what it does
// not decode to our pixel formats (CMYK and YCCK), which Qt's reader then
// converts.
JpegOutcome decodeJpeg(const WholeBytes& bytes, QSize box, Picture* picture, QString* error)
{
    TurboJpegHandle tj;
    if (!tj.get()) {
        failure(error, QStringLiteral("JPEG decoder cannot start"));
        return JpegOutcome::Failed;
    }
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), &width, &height,
                            &subsampling, &colorspace)
        != 0) {
        failure(error, QStringLiteral("JPEG header is unreadable: %1").arg(tj.errorText()));
        return JpegOutcome::Failed;
    }
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK)
        return JpegOutcome::NotHandled;

    const QSize full(width, height);
    if (!edgesWithinLimits(full)) {
        failure(error, QStringLiteral("JPEG declares an absurd size (%1)").arg(sizeText(full)));
        return JpegOutcome::Failed;
    }
    const QSize decode = scaledDecodeSize(full, box);
    if (!pixelsWithinLimits(decode)) {
        failure(error, QStringLiteral("JPEG too large to decode (%1)").arg(sizeText(decode)));
        return JpegOutcome::Failed;
    }
    const int denominator = scaleDenominator(full, decode);
    const QSize output(TJSCALED(width, (tjscalingfactor{1, denominator})),
                       TJSCALED(height, (tjscalingfactor{1, denominator})));
    if (!pixelsWithinLimits(output)) {
        failure(error, QStringLiteral("JPEG too large to decode (%1)").arg(sizeText(output)));
        return JpegOutcome::Failed;
    }

    const bool gray = colorspace == TJCS_GRAY;
    QImage image(output, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull()) {
        failure(error, QStringLiteral("no memory to decode the JPEG (%1)").arg(sizeText(output)));
        return JpegOutcome::Failed;
    }
    // Format_RGB32 holds 0xffRRGGBB words; the X byte is filled with 0xFF.
    const int pixelFormat = gray ? TJPF_GRAY : (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB);
    if (tjDecompress2(tj.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), image.bits(), output.width(),
                      int(image.bytesPerLine()), output.height(), pixelFormat, 0)
            != 0
        && tjGetErrorCode(tj.get()) == TJERR_FATAL) {
        // A warning (stray bytes, say) still leaves a whole picture.
        failure(error, QStringLiteral("JPEG cannot be decoded: %1").arg(tj.errorText()));
        return JpegOutcome::Failed;
    }
    if (image.size() != decode)
        image = image.scaled(decode, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    picture->image = std::move(image);
    picture->fullSize = full;
    picture->format = pictureFormatName(PictureFormat::Jpeg);
    return JpegOutcome::Decoded;
}

std::optional<Picture> readMetafile(QIODevice& device, QSize box, QString* error)
{
    if (!device.isSequential() && device.size() - device.pos() > kMaxMetafileBytes)
        return failure(error, QStringLiteral("metafile larger than %1 bytes").arg(kMaxMetafileBytes));
    const QByteArray data = readUpTo(device, kMaxMetafileBytes);
    if (data.size() > kMaxMetafileBytes)
        return failure(error, QStringLiteral("metafile larger than %1 bytes").arg(kMaxMetafileBytes));
    QString message;
    const std::optional<Metafile> file = Metafile::parse(data, &message);
    if (!file)
        return failure(error, message);
    // Drawn straight at the size it is shown at, never larger than its own.
    const QSize target = coverSize(file->size(), box);
    if (!pixelsWithinLimits(target))
        return failure(error, QStringLiteral("metafile too large to draw (%1)").arg(sizeText(target)));
    Picture picture;
    picture.image = file->render(target);
    if (picture.image.isNull())
        return failure(error, QStringLiteral("no memory to draw the metafile (%1)").arg(sizeText(target)));
    picture.fullSize = file->size();
    picture.format = file->type() == MetafileType::Wmf ? QStringLiteral("WMF") : QStringLiteral("EMF");
    picture.isMetafile = true;
    return picture;
}

} // namespace

PictureFormat sniffPictureFormat(QByteArrayView head)
{
    switch (kindOfSignature(head)) {
    case PictureKind::Jpeg: return PictureFormat::Jpeg;
    case PictureKind::Png: return PictureFormat::Png;
    case PictureKind::Gif: return PictureFormat::Gif;
    case PictureKind::Webp: return PictureFormat::Webp;
    case PictureKind::Avif: return PictureFormat::Avif;
    case PictureKind::Bmp:
        // "BM" is two letters of any text; the size of the header that
        // follows names the BMP version.
        if (head.size() >= 18) {
            const quint32 info = qFromLittleEndian<quint32>(head.data() + 14);
            if (info == 12 || info == 16 || info == 40 || info == 52 || info == 56 || info == 64 || info == 108
                || info == 124)
                return PictureFormat::Bmp;
        }
        break;
    case PictureKind::None: break;
    }
    if (head.size() >= 6 && head.startsWith(QByteArrayView("\0\0\1\0", 4))
        && qFromLittleEndian<quint16>(head.data() + 4) > 0)
        return PictureFormat::Ico;
    if (const auto metafile = metafileTypeOf(head))
        return *metafile == MetafileType::Wmf ? PictureFormat::Wmf : PictureFormat::Emf;
    return PictureFormat::Unknown;
}

QString pictureFormatName(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Jpeg: return QStringLiteral("JPEG");
    case PictureFormat::Png: return QStringLiteral("PNG");
    case PictureFormat::Gif: return QStringLiteral("GIF");
    case PictureFormat::Bmp: return QStringLiteral("BMP");
    case PictureFormat::Webp: return kindName(PictureKind::Webp);
    case PictureFormat::Avif: return kindName(PictureKind::Avif);
    case PictureFormat::Ico: return QStringLiteral("ICO");
    case PictureFormat::Wmf: return QStringLiteral("WMF");
    case PictureFormat::Emf: return QStringLiteral("EMF");
    case PictureFormat::Unknown: break;
    }
    return QString();
}

QSize coverSize(QSize full, QSize box)
{
    if (!box.isValid() || box.isEmpty() || full.isEmpty())
        return full;
    if (full.width() <= box.width() && full.height() <= box.height())
        return full;
    return sizeCovering(full, box);
}

QSize scaledDecodeSize(QSize full, QSize box)
{
    const QSize cover = coverSize(full, box);
    if (cover == full)
        return full;
    // The decoder picks the largest of 1/2, 1/4, 1/8 that does not go below
    // the size asked for; asking for exactly that fraction (rounded down)
    // spares a resampling pass after it.
    for (int d = 8; d >= 2; d /= 2) {
        const QSize reduced(full.width() / d, full.height() / d);
        if (reduced.width() >= cover.width() && reduced.height() >= cover.height()) {
            if (d == 8 && (reduced.width() >= 2 * cover.width() || reduced.height() >= 2 * cover.height()))
                return cover;
            return reduced;
        }
    }
    return full;
}

JpegLayout scanJpeg(QIODevice& device)
{
    JpegWalk walk;
    char chunk[64 * 1024];
    while (true) {
        const qint64 n = device.read(chunk, sizeof chunk);
        if (n <= 0)
            return walk.layout();
        switch (walk.feed(reinterpret_cast<const uchar*>(chunk), n)) {
        case JpegWalk::Result::Complete: {
            JpegLayout layout = walk.layout();
            layout.complete = true;
            return layout;
        }
        case JpegWalk::Result::Corrupt: return walk.layout();
        case JpegWalk::Result::NeedMore: break;
        }
    }
}

bool jpegIsComplete(QIODevice& device)
{
    return scanJpeg(device).complete;
}

std::optional<Picture> loadPictureFrom(QIODevice& device, QSize box, QString* error)
{
    const QByteArray head = device.peek(64);
    if (head.isEmpty())
        return failure(error, QStringLiteral("empty file"));
    const PictureFormat format = sniffPictureFormat(head);
    switch (format) {
    case PictureFormat::Unknown:
        return failure(error, QStringLiteral("not a picture in a known format"));
    case PictureFormat::Wmf:
    case PictureFormat::Emf:
        return readMetafile(device, box, error);
    case PictureFormat::Jpeg: {
        const qint64 start = device.pos();
        const WholeBytes bytes(device);
        JpegLayout layout;
        if (bytes.isValid()) {
            JpegWalk walk;
            if (walk.feed(bytes.data(), bytes.size()) == JpegWalk::Result::Complete) {
                layout = walk.layout();
                layout.complete = true;
            }
        } else {
            layout = scanJpeg(device);
        }
        if (!layout.complete)
            return failure(error, QStringLiteral("JPEG data is truncated or corrupt"));
        // A file of several scans is decoded through coefficient buffers for
        // the whole picture, two bytes a sample whatever the output scale:
        // that memory is held to the same bound as the pixels.
        if (layout.progressive || layout.scans > 1) {
            const qint64 bytes = qint64(layout.size.width()) * layout.size.height() * std::max(1, layout.components) * 2;
            if (bytes > kMaxPicturePixels * 4)
                return failure(error, QStringLiteral("JPEG of several scans too large to decode (%1, %2 components)")
                                          .arg(sizeText(layout.size))
                                          .arg(layout.components));
        }
        if (bytes.isValid()) {
            Picture picture;
            switch (decodeJpeg(bytes, box, &picture, error)) {
            case JpegOutcome::Decoded: return picture;
            case JpegOutcome::Failed: return std::nullopt;
            case JpegOutcome::NotHandled: break;
            }
        }
        if (!device.seek(start))
            return failure(error, QStringLiteral("JPEG data cannot be read twice"));
        return readWithQt(device, format, box, error);
    }
    case PictureFormat::Webp:
    case PictureFormat::Avif: {
        WholeBytes bytes(device);
        if (!bytes.readRest(device))
            return failure(error, QStringLiteral("%1 file larger than %2 bytes")
                                      .arg(pictureFormatName(format))
                                      .arg(kMaxPictureBytesInMemory));
        if (format == PictureFormat::Avif)
            return decodeAvif(bytes.view(), box, error);
        const WebpHeader header = readWebpHeader(bytes.view());
        if (!header.animated)
            return decodeWebp(bytes.view(), box, error);
        // libwebp's simple decoder takes stills only; Qt's reader shows an
        // animation's first picture, within the canvas size checked here.
        if (!edgesWithinLimits(header.size) || !pixelsWithinLimits(header.size))
            return failure(error, QStringLiteral("WEBP declares an absurd size (%1)").arg(sizeText(header.size)));
        QBuffer whole;
        whole.setData(QByteArray::fromRawData(bytes.view().data(), bytes.view().size()));
        whole.open(QIODevice::ReadOnly);
        return readWithQt(whole, format, box, error);
    }
    default:
        return readWithQt(device, format, box, error);
    }
}

std::optional<Picture> loadPictureData(const QByteArray& data, QSize box, QString* error)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return loadPictureFrom(buffer, box, error);
}

std::optional<Picture> loadPicture(const QString& path, QSize box, QString* error)
{
    QFile file(path);
    // Read-only: a write-protected picture loads like any other.
    if (!file.open(QIODevice::ReadOnly))
        return failure(error, QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    if (file.size() == 0)
        return failure(error, QStringLiteral("empty file"));
    return loadPictureFrom(file, box, error);
}

} // namespace viewing
