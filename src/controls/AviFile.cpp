#include "controls/AviFile.h"

#include <QtEndian>

#include <cstring>

namespace {

constexpr int kAvihBytes = 56;
constexpr int kStrhBytes = 56;
constexpr int kBitmapInfoBytes = 40;
constexpr quint32 kAvifHasIndex = 0x10;
constexpr quint32 kAviifKeyframe = 0x10;
// Frame periods outside 1 ms .. 10 s are not a playable clip.
constexpr quint32 kMinUsPerFrame = 1000;
constexpr quint32 kMaxUsPerFrame = 10'000'000;

quint32 u32At(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}

bool isFourcc(const char* p, const char* fourcc)
{
    return std::memcmp(p, fourcc, 4) == 0;
}

bool isFourccNoCase(const char* p, const char* fourcc)
{
    return QByteArray(p, 4).toUpper() == QByteArray(fourcc, 4).toUpper();
}

struct Chunk
{
    const char* id = nullptr;
    qint64 data = 0;  // offset of the payload
    qint64 size = 0;  // payload bytes
};

// Reads the chunk header at pos inside [pos, end) and moves pos past the chunk
// and its pad byte. Fails when the header or the payload does not fit.
bool nextChunk(const char* base, qint64& pos, qint64 end, Chunk& chunk)
{
    if (end - pos < 8)
        return false;
    chunk.id = base + pos;
    chunk.size = u32At(base + pos + 4);
    chunk.data = pos + 8;
    if (chunk.size > end - chunk.data)
        return false;
    qint64 next = chunk.data + chunk.size + (chunk.size & 1);
    // Some writers drop the pad byte of a last odd-sized chunk.
    pos = next > end ? end : next;
    return true;
}

struct Header
{
    quint32 usPerFrame = 0;
    quint32 totalFrames = 0;
    quint32 width = 0;
    quint32 height = 0;
    bool videoStream = false;
};

// The first stream list must describe the JPEG video stream that '00dc'
// chunks belong to.
bool parseStreamList(const char* base, qint64 pos, qint64 end, Header& header)
{
    bool haveStrh = false;
    bool haveStrf = false;
    Chunk c;
    while (pos < end) {
        if (!nextChunk(base, pos, end, c))
            return false;
        if (isFourcc(c.id, "strh")) {
            if (c.size < kStrhBytes || !isFourcc(base + c.data, "vids"))
                return false;
            haveStrh = true;
        } else if (isFourcc(c.id, "strf")) {
            if (c.size < kBitmapInfoBytes)
                return false;
            if (!isFourccNoCase(base + c.data + 16, "MJPG"))
                return false;
            haveStrf = true;
        }
    }
    header.videoStream = haveStrh && haveStrf;
    return header.videoStream;
}

bool parseHeaderList(const char* base, qint64 pos, qint64 end, Header& header)
{
    bool haveAvih = false;
    bool haveStream = false;
    Chunk c;
    while (pos < end) {
        if (!nextChunk(base, pos, end, c))
            return false;
        if (isFourcc(c.id, "avih")) {
            if (haveAvih || c.size < kAvihBytes)
                return false;
            const char* h = base + c.data;
            header.usPerFrame = u32At(h);
            header.totalFrames = u32At(h + 16);
            header.width = u32At(h + 32);
            header.height = u32At(h + 36);
            haveAvih = true;
        } else if (isFourcc(c.id, "LIST") && c.size >= 4 && isFourcc(base + c.data, "strl")) {
            if (!haveStream) {
                if (!parseStreamList(base, c.data + 4, c.data + c.size, header))
                    return false;
                haveStream = true;
            }
        }
    }
    return haveAvih && haveStream;
}

bool takeFrame(const char* base, const Chunk& c, quint32 expected, QList<QByteArray>& frames)
{
    if (quint32(frames.size()) >= expected)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(base + c.data);
    if (c.size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return false;
    frames.append(QByteArray(base + c.data, c.size));
    return true;
}

bool parseMovieList(const char* base, qint64 pos, qint64 end, quint32 expected,
                    QList<QByteArray>& frames)
{
    Chunk c;
    while (pos < end) {
        if (!nextChunk(base, pos, end, c))
            return false;
        if (isFourcc(c.id, "00dc")) {
            if (!takeFrame(base, c, expected, frames))
                return false;
        } else if (isFourcc(c.id, "LIST") && c.size >= 4 && isFourcc(base + c.data, "rec ")) {
            qint64 inner = c.data + 4;
            const qint64 innerEnd = c.data + c.size;
            Chunk f;
            while (inner < innerEnd) {
                if (!nextChunk(base, inner, innerEnd, f))
                    return false;
                if (isFourcc(f.id, "00dc") && !takeFrame(base, f, expected, frames))
                    return false;
            }
        }
        // Other streams, padding and per-stream indexes carry nothing we show.
    }
    return true;
}

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

QByteArray chunk(const char* id, const QByteArray& payload)
{
    QByteArray out(id, 4);
    put32(out, quint32(payload.size()));
    out += payload;
    if (payload.size() & 1)
        out.append('\0');
    return out;
}

QByteArray list(const char* type, const QByteArray& payload)
{
    return chunk("LIST", QByteArray(type, 4) + payload);
}

}  // namespace

std::optional<AviClip> readAvi(const QByteArray& data)
{
    const qint64 n = data.size();
    if (n < 12 || n > kMaxAviFileBytes)
        return std::nullopt;
    const char* base = data.constData();
    if (!isFourcc(base, "RIFF") || !isFourcc(base + 8, "AVI "))
        return std::nullopt;
    const qint64 riffSize = u32At(base + 4);
    if (riffSize < 4 || riffSize > n - 8)
        return std::nullopt;
    const qint64 riffEnd = 8 + riffSize;

    Header header;
    bool haveHeader = false;
    bool haveMovie = false;
    QList<QByteArray> frames;
    qint64 pos = 12;
    Chunk c;
    while (pos < riffEnd) {
        if (!nextChunk(base, pos, riffEnd, c))
            return std::nullopt;
        if (!isFourcc(c.id, "LIST"))
            continue;  // idx1, JUNK: the frames are found by walking 'movi'
        if (c.size < 4)
            return std::nullopt;
        const char* type = base + c.data;
        if (isFourcc(type, "hdrl")) {
            if (haveHeader || !parseHeaderList(base, c.data + 4, c.data + c.size, header))
                return std::nullopt;
            haveHeader = true;
            // Every frame needs at least a chunk header, so a larger count
            // cannot be true of this file.
            if (header.totalFrames == 0 || header.totalFrames > quint64(n) / 8)
                return std::nullopt;
        } else if (isFourcc(type, "movi")) {
            if (!haveHeader || haveMovie)
                return std::nullopt;
            if (!parseMovieList(base, c.data + 4, c.data + c.size, header.totalFrames, frames))
                return std::nullopt;
            haveMovie = true;
        }
    }
    if (!haveHeader || !haveMovie)
        return std::nullopt;
    if (header.width < 1 || header.width > quint32(kMaxAviFrameEdge) || header.height < 1
        || header.height > quint32(kMaxAviFrameEdge))
        return std::nullopt;
    if (header.usPerFrame < kMinUsPerFrame || header.usPerFrame > kMaxUsPerFrame)
        return std::nullopt;
    if (quint32(frames.size()) != header.totalFrames)
        return std::nullopt;

    AviClip clip;
    clip.size = QSize(int(header.width), int(header.height));
    clip.usPerFrame = int(header.usPerFrame);
    clip.frames = std::move(frames);
    return clip;
}

QByteArray writeAvi(const AviClip& clip)
{
    const quint32 frameCount = quint32(clip.frames.size());
    const quint32 width = quint32(qMax(0, clip.size.width()));
    const quint32 height = quint32(qMax(0, clip.size.height()));
    const quint32 us = quint32(qMax(1, clip.usPerFrame));
    quint32 largest = 0;
    for (const QByteArray& f : clip.frames)
        largest = qMax(largest, quint32(f.size()));

    QByteArray avih;
    put32(avih, us);
    put32(avih, quint32(quint64(largest) * 1'000'000 / us));  // max bytes per second
    put32(avih, 0);                                             // padding granularity
    put32(avih, kAvifHasIndex);
    put32(avih, frameCount);
    put32(avih, 0);  // initial frames
    put32(avih, 1);  // streams
    put32(avih, largest);
    put32(avih, width);
    put32(avih, height);
    for (int i = 0; i < 4; ++i)
        put32(avih, 0);

    QByteArray strh("vidsMJPG", 8);
    put32(strh, 0);  // flags
    put16(strh, 0);  // priority
    put16(strh, 0);  // language
    put32(strh, 0);  // initial frames
    put32(strh, us);  // scale / rate = seconds per frame
    put32(strh, 1'000'000);
    put32(strh, 0);  // start
    put32(strh, frameCount);
    put32(strh, largest);
    put32(strh, 0xFFFFFFFFu);  // quality: default
    put32(strh, 0);            // sample size: varies
    put16(strh, 0);
    put16(strh, 0);
    put16(strh, quint16(width));
    put16(strh, quint16(height));

    QByteArray strf;
    put32(strf, kBitmapInfoBytes);
    put32(strf, width);
    put32(strf, height);
    put16(strf, 1);   // planes
    put16(strf, 24);  // bits per pixel once decoded
    strf.append("MJPG", 4);
    put32(strf, width * height * 3);
    for (int i = 0; i < 4; ++i)
        put32(strf, 0);

    const QByteArray hdrl = list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));

    QByteArray movi("movi", 4);
    QByteArray idx1;
    for (const QByteArray& f : clip.frames) {
        idx1.append("00dc", 4);
        put32(idx1, kAviifKeyframe);
        put32(idx1, quint32(movi.size()));  // from the 'movi' type
        put32(idx1, quint32(f.size()));
        movi += chunk("00dc", f);
    }

    const QByteArray body = QByteArray("AVI ", 4) + hdrl + chunk("LIST", movi) + chunk("idx1", idx1);
    return chunk("RIFF", body);
}
