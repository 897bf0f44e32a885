#pragma once

// Builders of little-endian test files: the words of a picture header, and
// placeable WMF and EMF metafiles written record by record.

#include <QByteArray>
#include <QRect>
#include <QRgb>
#include <QSize>

#include <initializer_list>

void put16(QByteArray& out, quint16 v);
void put32(QByteArray& out, quint32 v);

// Writes a placeable WMF record by record; parameters are 16-bit words in
// file order.
class WmfWriter
{
public:
    WmfWriter(QRect box, int inch, int objects);

    void record(quint16 function, std::initializer_list<int> words)
    {
        put32(m_body, quint32(3 + words.size()));
        put16(m_body, function);
        for (int w : words)
            put16(m_body, quint16(w));
    }
    // A record whose size field says anything at all.
    void rawRecord(quint32 sizeWords, quint16 function, const QByteArray& params)
    {
        put32(m_body, sizeWords);
        put16(m_body, function);
        m_body.append(params);
    }
    void pen(int style, int width, QRgb colour)
    {
        record(0x02FA, {style, width, 0, int(colourRef(colour) & 0xFFFF), int(colourRef(colour) >> 16)});
    }
    void brush(int style, QRgb colour, int hatch = 0)
    {
        record(0x02FC, {style, int(colourRef(colour) & 0xFFFF), int(colourRef(colour) >> 16), hatch});
    }

    QByteArray finish(bool endRecord = true)
    {
        QByteArray body = m_body;
        if (endRecord) {
            put32(body, 3);
            put16(body, 0);
        }
        QByteArray out = m_head;
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, quint32((18 + body.size()) / 2));
        put16(out, quint16(m_objects));
        put32(out, 3);
        put16(out, 0);
        return out + body;
    }

    static quint32 colourRef(QRgb c) { return quint32(qRed(c)) | quint32(qGreen(c)) << 8 | quint32(qBlue(c)) << 16; }

private:
    QByteArray m_head;
    QByteArray m_body;
    int m_objects;
};

// Writes an EMF whose reference device is exactly 96 dots per inch, so a
// logical unit in the default mapping is one pixel of the picture's own size.
class EmfWriter
{
public:
    explicit EmfWriter(QSize pixels) : m_pixels(pixels) {}

    void record(quint32 type, std::initializer_list<qint64> values)
    {
        put32(m_body, type);
        put32(m_body, quint32(8 + 4 * values.size()));
        for (qint64 v : values)
            put32(m_body, quint32(v));
        ++m_records;
    }
    void rawRecord(quint32 type, quint32 size, const QByteArray& params)
    {
        put32(m_body, type);
        put32(m_body, size);
        m_body.append(params);
        ++m_records;
    }

    QByteArray finish(bool endRecord = true, qint64 declaredExtra = 0)
    {
        QByteArray body = m_body;
        if (endRecord) {
            put32(body, 14);
            put32(body, 20);
            put32(body, 0);
            put32(body, 0);
            put32(body, 20);
        }
        QByteArray out;
        put32(out, 1);
        put32(out, 88);
        for (int v : {0, 0, m_pixels.width() - 1, m_pixels.height() - 1})
            put32(out, quint32(v));
        // Frame in 0.01 mm: 2540 per 96 pixels.
        for (int v : {0, 0, m_pixels.width() * 2540 / 96, m_pixels.height() * 2540 / 96})
            put32(out, quint32(v));
        put32(out, 0x464D4520);
        put32(out, 0x10000);
        put32(out, quint32(88 + body.size() + declaredExtra));
        put32(out, quint32(m_records + 2));
        put16(out, 8);
        put16(out, 0);
        put32(out, 0);
        put32(out, 0);
        put32(out, 0);
        for (int v : {960, 960, 254, 254})
            put32(out, quint32(v));
        return out + body;
    }

private:
    QSize m_pixels;
    QByteArray m_body;
    int m_records = 0;
};

