#include "support/MetafileWriter.h"

#include <QtEndian>

void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

WmfWriter::WmfWriter(QRect box, int inch, int objects)
    : m_objects(objects)
{
    put32(m_head, 0x9AC6CDD7);
    put16(m_head, 0);
    put16(m_head, quint16(box.left()));
    put16(m_head, quint16(box.top()));
    put16(m_head, quint16(box.left() + box.width()));
    put16(m_head, quint16(box.top() + box.height()));
    put16(m_head, quint16(inch));
    put32(m_head, 0);
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= qFromLittleEndian<quint16>(m_head.constData() + 2 * i);
    put16(m_head, sum);
}
