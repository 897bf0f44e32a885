// The WMF and EMF readers in one file, past a thousand lines on purpose: both
// record sets drive the one player below, whose drawing state (objects,
// pens, brushes, fonts, the saved device contexts, the mapping) nearly every
// record reads or changes, so a record's effect reads beside that state. The
// player is private to this file; nothing else needs its parts.

#include "viewing/Metafile.h"

#include "viewing/PictureLimits.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace viewing {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr qint64 kPlaceableBytes = 22;
constexpr qint64 kWmfHeaderBytes = 18;
constexpr quint32 kEmfSignature = 0x464D4520;  // " EMF"
constexpr qint64 kEmfHeaderBytes = 88;

// Device coordinates are kept well inside the painter's fixed-point range.
constexpr double kCoordLimit = 1 << 22;
// Text taller than this is not drawn: no display needs it and glyph outlines
// of that size are costly.
constexpr double kMaxTextPixels = 16384;
constexpr int kMaxSavedStates = 256;

// GDI constants.
enum : int {
    PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
    PS_STYLE_MASK = 0x0F, PS_ENDCAP_MASK = 0x0F00, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200,
    PS_JOIN_MASK = 0xF000, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_GEOMETRIC = 0x10000,
};
enum : int { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : int { TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_HMASK = 6, TA_BOTTOM = 8, TA_BASELINE = 24, TA_VMASK = 24 };
enum : int { ETO_OPAQUE = 2, ETO_CLIPPED = 4 };
enum : int { MM_TEXT = 1, MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8 };
enum : int { WINDING = 2 };
enum : int { SHIFTJIS_CHARSET = 128, DEFAULT_CHARSET = 1, ANSI_CHARSET = 0 };

// Bounds-checked little-endian reads over one record's parameters.
class Bytes
{
public:
    Bytes(const char* data, qint64 size) : m_data(data), m_size(size) {}
    qint64 size() const { return m_size; }
    bool has(qint64 offset, qint64 count) const
    {
        return offset >= 0 && count >= 0 && offset <= m_size && count <= m_size - offset;
    }
    quint8 u8(qint64 at) const { return quint8(m_data[at]); }
    quint16 u16(qint64 at) const { return qFromLittleEndian<quint16>(m_data + at); }
    qint16 i16(qint64 at) const { return qFromLittleEndian<qint16>(m_data + at); }
    quint32 u32(qint64 at) const { return qFromLittleEndian<quint32>(m_data + at); }
    qint32 i32(qint64 at) const { return qFromLittleEndian<qint32>(m_data + at); }
    const char* at(qint64 offset) const { return m_data + offset; }

private:
    const char* m_data;
    qint64 m_size;
};

QColor colourRef(quint32 ref)
{
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}

// 8-bit text in the font's character set; the program's own code page is
// Shift-JIS, which is also what the default character set means here.
QString decodeAnsi(QByteArrayView bytes, int charset)
{
    const char* name = nullptr;
    if (charset == SHIFTJIS_CHARSET || charset == DEFAULT_CHARSET)
        name = "Shift_JIS";
    else if (charset == ANSI_CHARSET)
        name = "windows-1252";
    if (name) {
        QStringDecoder decoder(name);
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    return QString::fromLatin1(bytes);
}

QString decodeUtf16(const char* p, qint64 units)
{
    QString text;
    text.reserve(qsizetype(units));
    for (qint64 i = 0; i < units; ++i)
        text.append(QChar(qFromLittleEndian<quint16>(p + 2 * i)));
    return text;
}

// Text up to the first NUL.
QByteArrayView untilNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
}

struct Pen
{
    int style = PS_SOLID;
    double width = 0;  // logical units; 0 is one device pixel
    QColor colour = Qt::black;
};

struct Brush
{
    int style = BS_SOLID;
    QColor colour = Qt::white;
    int hatch = 0;
    bool pattern = false;  // a bitmap pattern, shown as a dense grey
};

struct Font
{
    int height = 0;  // logical units; 0 is the default size
    int escapement = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charset = DEFAULT_CHARSET;
    QString face;
};

enum class Kind { None, Pen, Brush, Font, Other };

struct GdiObject
{
    Kind kind = Kind::None;
    Pen pen;
    Brush brush;
    Font font;
};

struct DcState
{
    Pen pen;
    Brush brush;
    Font font;
    QColor textColour = Qt::black;
    QColor bkColour = Qt::white;
    int bkMode = OPAQUE;
    int textAlign = 0;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    int mapMode = MM_TEXT;
    QPointF windowOrg;
    QSizeF windowExt{1, 1};
    QPointF viewportOrg;
    QSizeF viewportExt{1, 1};
    QPointF current;  // logical
};

double clampCoord(double v)
{
    if (std::isnan(v))
        return 0;
    return std::clamp(v, -kCoordLimit, kCoordLimit);
}

} // namespace

// Plays the records of one metafile. Without a painter it only checks them;
// with one it draws. Both walks go through the same decoding, so whatever
// parse() accepts, render() can walk.
class MetafilePlayer
{
public:
    MetafilePlayer(const Metafile& file, QPainter* painter, QSize target)
        : m_file(file), m_painter(painter), m_image(QRectF(QPointF(0, 0), QSizeF(target)))
    {
        const double area = double(target.width()) * target.height();
        m_budget = 64 * area + 4e6;
        if (file.m_type == MetafileType::Wmf) {
            // The host maps the placeable bounding box onto the picture's own
            // size; the file's window records override the window only.
            m_state.mapMode = MM_ANISOTROPIC;
            m_state.windowOrg = QPointF(file.m_bounds.left(), file.m_bounds.top());
            m_state.windowExt = QSizeF(file.m_bounds.width(), file.m_bounds.height());
            m_state.viewportExt = QSizeF(file.m_size);
            m_refOrigin = QPointF(0, 0);
            if (target.isValid()) {
                m_refScale = QSizeF(double(target.width()) / file.m_size.width(),
                                    double(target.height()) / file.m_size.height());
            }
            m_objects.resize(size_t(file.m_objects));
        } else {
            m_emfHandles = file.m_objects;
            m_refOrigin = file.m_frame.topLeft();
            if (target.isValid()) {
                m_refScale = QSizeF(target.width() / file.m_frame.width(), target.height() / file.m_frame.height());
            }
        }
        m_gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    }

    bool playWmf(QString* error);
    bool playEmf(QString* error);
    int records() const { return m_records; }

private:
    bool fail(QString* error, const QString& message)
    {
        if (error)
            *error = message;
        return false;
    }

    bool drawing() const { return m_painter && m_budget > 0; }

    // Logical units to target pixels.
    QSizeF logicalScale() const
    {
        double sx = 1;
        double sy = 1;
        if (m_state.mapMode == MM_ANISOTROPIC || m_state.mapMode == MM_ISOTROPIC) {
            sx = m_state.viewportExt.width() / m_state.windowExt.width();
            sy = m_state.viewportExt.height() / m_state.windowExt.height();
            if (m_state.mapMode == MM_ISOTROPIC) {
                const double m = std::min(std::abs(sx), std::abs(sy));
                sx = std::copysign(m, sx);
                sy = std::copysign(m, sy);
            }
        }
        return QSizeF(sx * m_refScale.width(), sy * m_refScale.height());
    }

    QPointF map(QPointF p) const
    {
        const QSizeF s = logicalScale();
        const double rx = (p.x() - m_state.windowOrg.x()) * s.width()
            + (m_state.viewportOrg.x() - m_refOrigin.x()) * m_refScale.width();
        const double ry = (p.y() - m_state.windowOrg.y()) * s.height()
            + (m_state.viewportOrg.y() - m_refOrigin.y()) * m_refScale.height();
        return QPointF(clampCoord(rx), clampCoord(ry));
    }

    double lengthScale() const
    {
        const QSizeF s = logicalScale();
        return (std::abs(s.width()) + std::abs(s.height())) / 2;
    }

    // Charges the work of drawing a shape of this many points over this
    // device rectangle; false once the budget is spent, and nothing more is
    // drawn. Points are charged too: a shape of many points in a small area
    // still takes time to fill and stroke.
    bool spend(const QRectF& device, qsizetype points)
    {
        const QRectF visible = device.normalized().adjusted(-2, -2, 2, 2).intersected(m_image);
        m_budget -= 64 + kPointCost * double(points) + visible.width() * visible.height();
        return m_budget > 0;
    }
    static constexpr double kPointCost = 256;

    QPen qpen() const
    {
        const Pen& pen = m_state.pen;
        const int style = pen.style & PS_STYLE_MASK;
        if (style == PS_NULL)
            return QPen(Qt::NoPen);
        double width = pen.width * lengthScale();
        const double widest = 2.0 * std::max(m_image.width(), m_image.height()) + 2;
        width = std::isnan(width) ? 0 : std::clamp(width, 0.0, widest);
        QPen q(pen.colour, width < 1 ? 0 : width);
        switch (style) {
        case PS_DASH: q.setStyle(Qt::DashLine); break;
        case PS_DOT: q.setStyle(Qt::DotLine); break;
        case PS_DASHDOT: q.setStyle(Qt::DashDotLine); break;
        case PS_DASHDOTDOT: q.setStyle(Qt::DashDotDotLine); break;
        default: q.setStyle(Qt::SolidLine); break;
        }
        if (pen.style & PS_GEOMETRIC) {
            const int cap = pen.style & PS_ENDCAP_MASK;
            q.setCapStyle(cap == PS_ENDCAP_SQUARE ? Qt::SquareCap : cap == PS_ENDCAP_FLAT ? Qt::FlatCap : Qt::RoundCap);
            const int join = pen.style & PS_JOIN_MASK;
            q.setJoinStyle(join == PS_JOIN_BEVEL ? Qt::BevelJoin : join == PS_JOIN_MITER ? Qt::MiterJoin : Qt::RoundJoin);
        } else {
            q.setCapStyle(Qt::RoundCap);
            q.setJoinStyle(Qt::RoundJoin);
        }
        return q;
    }

    QBrush qbrush() const
    {
        const Brush& b = m_state.brush;
        if (b.style == BS_NULL)
            return QBrush(Qt::NoBrush);
        if (b.pattern)
            return QBrush(Qt::gray, Qt::Dense4Pattern);
        if (b.style == BS_HATCHED) {
            static constexpr Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,  Qt::FDiagPattern,
                                                         Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
            return QBrush(b.colour, b.hatch >= 0 && b.hatch < 6 ? hatches[b.hatch] : Qt::CrossPattern);
        }
        return QBrush(b.colour);
    }

    void drawShape(QPainterPath path, bool fill)
    {
        if (!drawing())
            return;
        const QPen pen = qpen();
        const double margin = pen.widthF();
        if (!spend(path.controlPointRect().adjusted(-margin, -margin, margin, margin), path.elementCount()))
            return;
        path.setFillRule(m_state.fillRule);
        if (fill) {
            const QBrush brush = qbrush();
            if (brush.style() != Qt::NoBrush && brush.style() != Qt::SolidPattern && m_state.bkMode == OPAQUE)
                m_painter->fillPath(path, m_state.bkColour);
            m_painter->fillPath(path, brush);
        }
        if (pen.style() != Qt::NoPen)
            m_painter->strokePath(path, pen);
    }

    void moveTo(QPointF p) { m_state.current = p; }

    void lineTo(QPointF p)
    {
        if (drawing()) {
            QPainterPath path(map(m_state.current));
            path.lineTo(map(p));
            drawShape(path, false);
        }
        m_state.current = p;
    }

    void poly(const QPolygonF& logical, bool closed)
    {
        if (!drawing() || logical.isEmpty())
            return;
        QPolygonF device;
        device.reserve(logical.size());
        for (const QPointF& p : logical)
            device.append(map(p));
        QPainterPath path;
        path.addPolygon(device);
        if (closed)
            path.closeSubpath();
        drawShape(path, closed);
    }

    void polyPolygon(const QList<QPolygonF>& polygons)
    {
        if (!drawing())
            return;
        QPainterPath path;
        for (const QPolygonF& logical : polygons) {
            QPolygonF device;
            device.reserve(logical.size());
            for (const QPointF& p : logical)
                device.append(map(p));
            path.addPolygon(device);
            path.closeSubpath();
        }
        drawShape(path, true);
    }

    QRectF deviceRect(double l, double t, double r, double b) const
    {
        return QRectF(map(QPointF(l, t)), map(QPointF(r, b))).normalized();
    }

    void rectangle(double l, double t, double r, double b)
    {
        if (!drawing())
            return;
        QPainterPath path;
        path.addRect(deviceRect(l, t, r, b));
        drawShape(path, true);
    }

    void ellipse(double l, double t, double r, double b)
    {
        if (!drawing())
            return;
        QPainterPath path;
        path.addEllipse(deviceRect(l, t, r, b));
        drawShape(path, true);
    }

    void roundRect(double l, double t, double r, double b, double cw, double ch)
    {
        if (!drawing())
            return;
        const QRectF rect = deviceRect(l, t, r, b);
        const QSizeF s = logicalScale();
        const double rx = std::min(std::abs(cw * s.width()) / 2, rect.width() / 2);
        const double ry = std::min(std::abs(ch * s.height()) / 2, rect.height() / 2);
        QPainterPath path;
        path.addRoundedRect(rect, std::isnan(rx) ? 0 : rx, std::isnan(ry) ? 0 : ry);
        drawShape(path, true);
    }

    void text(QPointF reference, const QString& text, int options, const QRectF* logicalRect)
    {
        if (!drawing())
            return;
        QRectF clip;
        if (logicalRect) {
            clip = deviceRect(logicalRect->left(), logicalRect->top(), logicalRect->right(), logicalRect->bottom());
            if ((options & ETO_OPAQUE) && spend(clip, 4))
                m_painter->fillRect(clip, m_state.bkColour);
        }
        // Fonts need the GUI application; without one the text is left out.
        if (text.isEmpty() || !m_gui)
            return;
        const Font& f = m_state.font;
        // Height 0 asks for the default font, 16 reference pixels high.
        const double pixels = f.height == 0 ? 16.0 * std::abs(m_refScale.height())
                                            : std::abs(double(f.height) * logicalScale().height());
        if (std::isnan(pixels) || pixels > kMaxTextPixels)
            return;
        QFont font(f.face);
        font.setPixelSize(std::max(1, int(std::lround(pixels))));
        font.setWeight(QFont::Weight(std::clamp(f.weight == 0 ? 400 : f.weight, 100, 900)));
        font.setItalic(f.italic);
        font.setUnderline(f.underline);
        font.setStrikeOut(f.strikeOut);
        const QFontMetricsF metrics(font);
        const double width = metrics.horizontalAdvance(text);

        const bool updateCp = m_state.textAlign & TA_UPDATECP;
        const QPointF anchor = map(updateCp ? m_state.current : reference);
        double x = 0;
        switch (m_state.textAlign & TA_HMASK) {
        case TA_RIGHT: x = -width; break;
        case TA_CENTER: x = -width / 2; break;
        default: break;
        }
        double baseline = metrics.ascent();
        switch (m_state.textAlign & TA_VMASK) {
        case TA_BASELINE: baseline = 0; break;
        case TA_BOTTOM: baseline = -metrics.descent(); break;
        default: break;
        }
        const QRectF box(anchor.x() + x, anchor.y() + baseline - metrics.ascent(), width, metrics.height());
        if (spend(box, text.size())) {
            m_painter->save();
            if (logicalRect && (options & ETO_CLIPPED))
                m_painter->setClipRect(clip);
            m_painter->translate(anchor);
            if (f.escapement != 0)
                m_painter->rotate(-f.escapement / 10.0);
            const QRectF local(x, baseline - metrics.ascent(), width, metrics.height());
            if (m_state.bkMode == OPAQUE)
                m_painter->fillRect(local, m_state.bkColour);
            m_painter->setFont(font);
            m_painter->setPen(m_state.textColour);
            m_painter->drawText(QPointF(x, baseline), text);
            m_painter->restore();
        }
        if (updateCp) {
            const double sx = logicalScale().width();
            if (sx != 0 && !std::isnan(sx))
                m_state.current.rx() += width / sx;
        }
    }

    void save()
    {
        if (m_saved.size() < kMaxSavedStates)
            m_saved.push_back(m_state);
    }

    // Negative: that many levels back; positive: the state saved as that level.
    void restore(qint64 which)
    {
        qint64 level = which < 0 ? qint64(m_saved.size()) + which : which - 1;
        if (level < 0 || level >= qint64(m_saved.size()))
            return;
        m_state = m_saved[size_t(level)];
        m_saved.resize(size_t(level));
    }

    void setExtent(QSizeF& ext, double w, double h)
    {
        if (w != 0 && h != 0)
            ext = QSizeF(w, h);
    }

    void selectObject(const GdiObject& object)
    {
        switch (object.kind) {
        case Kind::Pen: m_state.pen = object.pen; break;
        case Kind::Brush: m_state.brush = object.brush; break;
        case Kind::Font: m_state.font = object.font; break;
        default: break;
        }
    }

    void selectStock(quint32 index)
    {
        GdiObject o;
        switch (index) {
        case 0: case 1: case 2: case 3: case 4: {  // white, light grey, grey, dark grey, black brush
            static constexpr int greys[] = {255, 192, 128, 64, 0};
            o.kind = Kind::Brush;
            o.brush.colour = QColor(greys[index], greys[index], greys[index]);
            break;
        }
        case 5: o.kind = Kind::Brush; o.brush.style = BS_NULL; break;
        case 6: o.kind = Kind::Pen; o.pen.colour = Qt::white; break;
        case 7: o.kind = Kind::Pen; break;
        case 8: o.kind = Kind::Pen; o.pen.style = PS_NULL; break;
        case 10: case 11: case 12: case 13: case 14: case 16: case 17: o.kind = Kind::Font; break;
        default: return;
        }
        selectObject(o);
    }

    // WMF objects take the lowest free slot of the table; a full table drops
    // them. Slots from m_unused on were never taken; m_freed holds the taken
    // ones deleted since, so the lowest free slot is found in logarithmic time.
    void addWmfObject(const GdiObject& object)
    {
        size_t slot = 0;
        if (!m_freed.empty()) {
            slot = *m_freed.begin();
            m_freed.erase(m_freed.begin());
        } else if (m_unused < m_objects.size()) {
            slot = m_unused++;
        } else {
            return;
        }
        m_objects[slot] = object;
    }
    void deleteWmfObject(size_t slot)
    {
        if (slot >= m_unused || m_freed.count(slot))
            return;
        m_objects[slot] = GdiObject();
        m_freed.insert(slot);
    }

    bool wmfRecord(quint16 function, const Bytes& p, QString* error);
    bool emfRecord(quint32 type, const Bytes& record, QString* error);

    const Metafile& m_file;
    QPainter* m_painter;
    QRectF m_image;
    double m_budget = 0;
    bool m_gui = false;
    DcState m_state;
    std::vector<DcState> m_saved;
    std::vector<GdiObject> m_objects;  // WMF table
    size_t m_unused = 0;
    std::set<size_t> m_freed;
    QHash<quint32, GdiObject> m_handles;  // EMF handles
    QPointF m_refOrigin;
    QSizeF m_refScale{1, 1};
    int m_emfHandles = 0;
    int m_records = 0;
};

namespace {

QString malformed(const char* what)
{
    return QStringLiteral("metafile record %1 is malformed").arg(QLatin1String(what));
}

} // namespace

bool MetafilePlayer::wmfRecord(quint16 function, const Bytes& p, QString* error)
{
    auto need = [&](qint64 bytes, const char* what) {
        return p.has(0, bytes) ? true : fail(error, malformed(what));
    };
    switch (function) {
    case 0x0213:  // LineTo
    case 0x0214:  // MoveTo
        if (!need(4, "LineTo/MoveTo"))
            return false;
        if (function == 0x0213)
            lineTo(QPointF(p.i16(2), p.i16(0)));
        else
            moveTo(QPointF(p.i16(2), p.i16(0)));
        return true;
    case 0x041B:  // Rectangle
    case 0x0418:  // Ellipse
        if (!need(8, "Rectangle/Ellipse"))
            return false;
        if (function == 0x041B)
            rectangle(p.i16(6), p.i16(4), p.i16(2), p.i16(0));
        else
            ellipse(p.i16(6), p.i16(4), p.i16(2), p.i16(0));
        return true;
    case 0x061C:  // RoundRect
        if (!need(12, "RoundRect"))
            return false;
        roundRect(p.i16(10), p.i16(8), p.i16(6), p.i16(4), p.i16(2), p.i16(0));
        return true;
    case 0x0324:  // Polygon
    case 0x0325: {  // Polyline
        if (!need(2, "Polygon/Polyline"))
            return false;
        const qint64 n = p.i16(0);
        if (n < 0 || !p.has(2, 4 * n))
            return fail(error, malformed("Polygon/Polyline"));
        if (drawing()) {
            QPolygonF points;
            points.reserve(qsizetype(n));
            for (qint64 i = 0; i < n; ++i)
                points.append(QPointF(p.i16(2 + 4 * i), p.i16(4 + 4 * i)));
            poly(points, function == 0x0324);
        }
        return true;
    }
    case 0x0538: {  // PolyPolygon
        if (!need(2, "PolyPolygon"))
            return false;
        const qint64 polygons = p.u16(0);
        if (!p.has(2, 2 * polygons))
            return fail(error, malformed("PolyPolygon"));
        qint64 total = 0;
        for (qint64 i = 0; i < polygons; ++i)
            total += p.u16(2 + 2 * i);
        const qint64 first = 2 + 2 * polygons;
        if (!p.has(first, 4 * total))
            return fail(error, malformed("PolyPolygon"));
        if (drawing()) {
            QList<QPolygonF> list;
            qint64 at = first;
            for (qint64 i = 0; i < polygons; ++i) {
                QPolygonF points;
                const qint64 n = p.u16(2 + 2 * i);
                points.reserve(qsizetype(n));
                for (qint64 k = 0; k < n; ++k, at += 4)
                    points.append(QPointF(p.i16(at), p.i16(at + 2)));
                list.append(points);
            }
            polyPolygon(list);
        }
        return true;
    }
    case 0x0521: {  // TextOut
        if (!need(2, "TextOut"))
            return false;
        const qint64 length = p.i16(0);
        const qint64 padded = length + (length & 1);
        if (length < 0 || !p.has(2, padded + 4))
            return fail(error, malformed("TextOut"));
        if (drawing()) {
            const QString s = decodeAnsi(QByteArrayView(p.at(2), qsizetype(length)), m_state.font.charset);
            text(QPointF(p.i16(2 + padded + 2), p.i16(2 + padded)), s, 0, nullptr);
        }
        return true;
    }
    case 0x0A32: {  // ExtTextOut
        if (!need(8, "ExtTextOut"))
            return false;
        const qint64 length = p.i16(4);
        const int options = p.u16(6);
        const bool hasRect = options & (ETO_OPAQUE | ETO_CLIPPED);
        const qint64 start = hasRect ? 16 : 8;
        if (length < 0 || !p.has(start, length))
            return fail(error, malformed("ExtTextOut"));
        if (drawing()) {
            QRectF rect;
            if (hasRect)
                rect = QRectF(QPointF(p.i16(8), p.i16(10)), QPointF(p.i16(12), p.i16(14)));
            const QString s = decodeAnsi(QByteArrayView(p.at(start), qsizetype(length)), m_state.font.charset);
            text(QPointF(p.i16(2), p.i16(0)), s, options, hasRect ? &rect : nullptr);
        }
        return true;
    }
    case 0x020B:  // SetWindowOrg
    case 0x020C:  // SetWindowExt
    case 0x020D:  // SetViewportOrg
    case 0x020E:  // SetViewportExt
        if (!need(4, "window/viewport"))
            return false;
        if (function == 0x020B)
            m_state.windowOrg = QPointF(p.i16(2), p.i16(0));
        else if (function == 0x020C)
            setExtent(m_state.windowExt, p.i16(2), p.i16(0));
        else if (function == 0x020D)
            m_state.viewportOrg = QPointF(p.i16(2), p.i16(0));
        else
            setExtent(m_state.viewportExt, p.i16(2), p.i16(0));
        return true;
    case 0x0102:  // SetBkMode
    case 0x012E:  // SetTextAlign
    case 0x0106:  // SetPolyFillMode
        if (!need(2, "mode"))
            return false;
        if (function == 0x0102)
            m_state.bkMode = p.u16(0);
        else if (function == 0x012E)
            m_state.textAlign = p.u16(0);
        else
            m_state.fillRule = p.u16(0) == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
        return true;
    case 0x0209:  // SetTextColor
    case 0x0201:  // SetBkColor
        if (!need(4, "colour"))
            return false;
        (function == 0x0209 ? m_state.textColour : m_state.bkColour) = colourRef(p.u32(0));
        return true;
    case 0x012D:  // SelectObject
    case 0x01F0: {  // DeleteObject
        if (!need(2, "object"))
            return false;
        const size_t index = p.u16(0);
        if (index < m_objects.size()) {
            if (function == 0x012D)
                selectObject(m_objects[index]);
            else
                deleteWmfObject(index);
        }
        return true;
    }
    case 0x02FA: {  // CreatePenIndirect
        if (!need(10, "CreatePenIndirect"))
            return false;
        GdiObject o;
        o.kind = Kind::Pen;
        o.pen.style = p.u16(0) & ~PS_GEOMETRIC;
        o.pen.width = p.i16(2);
        o.pen.colour = colourRef(p.u32(6));
        addWmfObject(o);
        return true;
    }
    case 0x02FC: {  // CreateBrushIndirect
        if (!need(8, "CreateBrushIndirect"))
            return false;
        GdiObject o;
        o.kind = Kind::Brush;
        o.brush.style = p.u16(0);
        o.brush.colour = colourRef(p.u32(2));
        o.brush.hatch = p.u16(6);
        o.brush.pattern = o.brush.style != BS_SOLID && o.brush.style != BS_NULL && o.brush.style != BS_HATCHED;
        addWmfObject(o);
        return true;
    }
    case 0x02FB: {  // CreateFontIndirect
        if (!need(18, "CreateFontIndirect"))
            return false;
        GdiObject o;
        o.kind = Kind::Font;
        o.font.height = p.i16(0);
        o.font.escapement = p.i16(4);
        o.font.weight = p.i16(8);
        o.font.italic = p.u8(10);
        o.font.underline = p.u8(11);
        o.font.strikeOut = p.u8(12);
        o.font.charset = p.u8(13);
        const qint64 faceBytes = std::min<qint64>(32, p.size() - 18);
        o.font.face = decodeAnsi(untilNul(QByteArrayView(p.at(18), qsizetype(faceBytes))), o.font.charset);
        addWmfObject(o);
        return true;
    }
    case 0x01F9:  // CreatePatternBrush
    case 0x0142: {  // DIBCreatePatternBrush
        GdiObject o;
        o.kind = Kind::Brush;
        o.brush.pattern = true;
        addWmfObject(o);
        return true;
    }
    case 0x00F7:  // CreatePalette
    case 0x06FF: {  // CreateRegion
        GdiObject o;
        o.kind = Kind::Other;
        addWmfObject(o);
        return true;
    }
    case 0x001E:  // SaveDC
        save();
        return true;
    case 0x0127:  // RestoreDC
        if (!need(2, "RestoreDC"))
            return false;
        restore(p.i16(0));
        return true;
    default:
        return true;
    }
}

bool MetafilePlayer::playWmf(QString* error)
{
    const QByteArray& data = m_file.m_data;
    const qint64 end = data.size();
    qint64 pos = m_file.m_firstRecord;
    int records = 1;
    while (true) {
        if (end - pos < 6)
            return fail(error, QStringLiteral("metafile ends without an end record"));
        const Bytes header(data.constData() + pos, 6);
        const qint64 bytes = 2 * qint64(header.u32(0));
        const quint16 function = header.u16(4);
        // A record of fewer than three words cannot hold its own header, and
        // one of size 0 would never move the walk on.
        if (bytes < 6)
            return fail(error, QStringLiteral("metafile record size out of range at offset %1").arg(pos));
        if (bytes > end - pos)
            return fail(error, QStringLiteral("metafile record at offset %1 reaches past the end").arg(pos));
        if (function == 0x0000)
            break;
        if (!wmfRecord(function, Bytes(data.constData() + pos + 6, bytes - 6), error))
            return false;
        pos += bytes;
        ++records;
    }
    m_records = records;
    return true;
}

bool MetafilePlayer::emfRecord(quint32 type, const Bytes& r, QString* error)
{
    // Offsets below count from the start of the record, as the format does.
    auto need = [&](qint64 bytes, const char* what) {
        return r.has(0, bytes) ? true : fail(error, malformed(what));
    };
    switch (type) {
    case 3: case 4: case 86: case 87: case 6: case 89: {  // Polygon, Polyline (32 and 16 bit), PolylineTo
        if (!need(28, "Polygon/Polyline"))
            return false;
        const bool small = type >= 86;
        const qint64 pointBytes = small ? 4 : 8;
        const qint64 n = r.u32(24);
        if (!r.has(28, n * pointBytes))
            return fail(error, malformed("Polygon/Polyline"));
        const bool to = type == 6 || type == 89;
        if (drawing() || to) {
            QPolygonF points;
            points.reserve(qsizetype(n + (to ? 1 : 0)));
            if (to)
                points.append(m_state.current);
            for (qint64 i = 0, at = 28; i < n; ++i, at += pointBytes) {
                points.append(small ? QPointF(r.i16(at), r.i16(at + 2)) : QPointF(r.i32(at), r.i32(at + 4)));
            }
            poly(points, type == 3 || type == 86);
            if (to && n > 0)
                m_state.current = points.last();
        }
        return true;
    }
    case 7: case 8: case 90: case 91: {  // PolyPolyline, PolyPolygon (32 and 16 bit)
        if (!need(32, "PolyPolygon"))
            return false;
        const bool small = type >= 90;
        const qint64 pointBytes = small ? 4 : 8;
        const qint64 polygons = r.u32(24);
        const qint64 total = r.u32(28);
        if (!r.has(32, 4 * polygons))
            return fail(error, malformed("PolyPolygon"));
        qint64 sum = 0;
        for (qint64 i = 0; i < polygons; ++i)
            sum += r.u32(32 + 4 * i);
        const qint64 first = 32 + 4 * polygons;
        if (sum != total || !r.has(first, total * pointBytes))
            return fail(error, malformed("PolyPolygon"));
        if (drawing()) {
            QList<QPolygonF> list;
            qint64 at = first;
            for (qint64 i = 0; i < polygons; ++i) {
                QPolygonF points;
                const qint64 n = r.u32(32 + 4 * i);
                points.reserve(qsizetype(n));
                for (qint64 k = 0; k < n; ++k, at += pointBytes)
                    points.append(small ? QPointF(r.i16(at), r.i16(at + 2)) : QPointF(r.i32(at), r.i32(at + 4)));
                list.append(points);
            }
            if (type == 8 || type == 91) {
                polyPolygon(list);
            } else {
                for (const QPolygonF& line : list)
                    poly(line, false);
            }
        }
        return true;
    }
    case 9: case 10: case 11: case 12: case 27: case 54: {  // window/viewport, MoveToEx, LineTo
        if (!need(16, "point"))
            return false;
        const double x = r.i32(8);
        const double y = r.i32(12);
        switch (type) {
        case 9: setExtent(m_state.windowExt, x, y); break;
        case 10: m_state.windowOrg = QPointF(x, y); break;
        case 11: setExtent(m_state.viewportExt, x, y); break;
        case 12: m_state.viewportOrg = QPointF(x, y); break;
        case 27: moveTo(QPointF(x, y)); break;
        default: lineTo(QPointF(x, y)); break;
        }
        return true;
    }
    case 17: case 18: case 19: case 22: case 24: case 25: {  // modes and colours
        if (!need(12, "mode"))
            return false;
        const quint32 v = r.u32(8);
        switch (type) {
        case 17: m_state.mapMode = int(v); break;
        case 18: m_state.bkMode = int(v); break;
        case 19: m_state.fillRule = v == WINDING ? Qt::WindingFill : Qt::OddEvenFill; break;
        case 22: m_state.textAlign = int(v); break;
        case 24: m_state.textColour = colourRef(v); break;
        default: m_state.bkColour = colourRef(v); break;
        }
        return true;
    }
    case 33:  // SaveDC
        save();
        return true;
    case 34:  // RestoreDC
        if (!need(12, "RestoreDC"))
            return false;
        restore(r.i32(8));
        return true;
    case 37: case 40: {  // SelectObject, DeleteObject
        if (!need(12, "object"))
            return false;
        const quint32 handle = r.u32(8);
        if (type == 37) {
            if (handle & 0x80000000u)
                selectStock(handle & 0x7FFFFFFFu);
            else if (auto it = m_handles.constFind(handle); it != m_handles.constEnd())
                selectObject(*it);
        } else {
            m_handles.remove(handle);
        }
        return true;
    }
    case 38: {  // CreatePen
        if (!need(28, "CreatePen"))
            return false;
        GdiObject o;
        o.kind = Kind::Pen;
        o.pen.style = int(r.u32(12) & ~quint32(PS_GEOMETRIC));
        o.pen.width = r.i32(16);
        o.pen.colour = colourRef(r.u32(24));
        if (r.u32(8) < quint32(m_emfHandles))
            m_handles.insert(r.u32(8), o);
        return true;
    }
    case 95: {  // ExtCreatePen
        if (!need(52, "ExtCreatePen"))
            return false;
        GdiObject o;
        o.kind = Kind::Pen;
        o.pen.style = int(r.u32(28));
        // A cosmetic pen is one pixel wide whatever its width says.
        o.pen.width = (o.pen.style & PS_GEOMETRIC) ? double(r.u32(32)) : 0.0;
        o.pen.colour = colourRef(r.u32(40));
        if (r.u32(36) == BS_NULL)
            o.pen.style = PS_NULL;
        if (r.u32(8) < quint32(m_emfHandles))
            m_handles.insert(r.u32(8), o);
        return true;
    }
    case 39: {  // CreateBrushIndirect
        if (!need(24, "CreateBrushIndirect"))
            return false;
        GdiObject o;
        o.kind = Kind::Brush;
        o.brush.style = int(r.u32(12));
        o.brush.colour = colourRef(r.u32(16));
        o.brush.hatch = int(r.u32(20));
        o.brush.pattern = o.brush.style != BS_SOLID && o.brush.style != BS_NULL && o.brush.style != BS_HATCHED;
        if (r.u32(8) < quint32(m_emfHandles))
            m_handles.insert(r.u32(8), o);
        return true;
    }
    case 82: {  // ExtCreateFontIndirectW
        if (!need(104, "ExtCreateFontIndirectW"))
            return false;
        GdiObject o;
        o.kind = Kind::Font;
        o.font.height = r.i32(12);
        o.font.escapement = r.i32(20);
        o.font.weight = r.i32(28);
        o.font.italic = r.u8(32);
        o.font.underline = r.u8(33);
        o.font.strikeOut = r.u8(34);
        o.font.charset = r.u8(35);
        QString face = decodeUtf16(r.at(40), 32);
        const qsizetype nul = face.indexOf(QChar(0));
        o.font.face = nul < 0 ? face : face.left(nul);
        if (r.u32(8) < quint32(m_emfHandles))
            m_handles.insert(r.u32(8), o);
        return true;
    }
    case 42: case 43: {  // Ellipse, Rectangle
        if (!need(24, "Rectangle/Ellipse"))
            return false;
        if (type == 42)
            ellipse(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
        else
            rectangle(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
        return true;
    }
    case 44:  // RoundRect
        if (!need(32, "RoundRect"))
            return false;
        roundRect(r.i32(8), r.i32(12), r.i32(16), r.i32(20), r.i32(24), r.i32(28));
        return true;
    case 83: case 84: {  // ExtTextOutA, ExtTextOutW
        if (!need(76, "ExtTextOut"))
            return false;
        const qint64 chars = r.u32(44);
        const qint64 offset = r.u32(48);
        const qint64 unit = type == 84 ? 2 : 1;
        if (chars > 0 && !r.has(offset, chars * unit))
            return fail(error, malformed("ExtTextOut"));
        if (drawing()) {
            const int options = int(r.u32(52));
            const QRectF rect(QPointF(r.i32(56), r.i32(60)), QPointF(r.i32(64), r.i32(68)));
            const QString s = chars == 0 ? QString()
                : type == 84 ? decodeUtf16(r.at(offset), chars)
                             : decodeAnsi(QByteArrayView(r.at(offset), qsizetype(chars)), m_state.font.charset);
            const bool hasRect = !rect.isNull() && (options & (ETO_OPAQUE | ETO_CLIPPED));
            text(QPointF(r.i32(36), r.i32(40)), s, options, hasRect ? &rect : nullptr);
        }
        return true;
    }
    default:
        return true;
    }
}

bool MetafilePlayer::playEmf(QString* error)
{
    const QByteArray& data = m_file.m_data;
    const qint64 end = m_file.m_end;
    qint64 pos = m_file.m_firstRecord;
    int records = 1;
    while (true) {
        if (end - pos < 8)
            return fail(error, QStringLiteral("metafile ends without an end record"));
        const Bytes header(data.constData() + pos, 8);
        const quint32 type = header.u32(0);
        const qint64 bytes = header.u32(4);
        if (bytes < 8 || bytes % 4 != 0)
            return fail(error, QStringLiteral("metafile record size out of range at offset %1").arg(pos));
        if (bytes > end - pos)
            return fail(error, QStringLiteral("metafile record at offset %1 reaches past the end").arg(pos));
        if (type == 14)  // EOF
            break;
        if (!emfRecord(type, Bytes(data.constData() + pos, bytes), error))
            return false;
        pos += bytes;
        ++records;
    }
    m_records = records;
    return true;
}

std::optional<MetafileType> metafileTypeOf(QByteArrayView head)
{
    if (head.size() >= 4 && qFromLittleEndian<quint32>(head.data()) == kPlaceableKey)
        return MetafileType::Wmf;
    if (head.size() >= 44 && qFromLittleEndian<quint32>(head.data()) == 1
        && qFromLittleEndian<quint32>(head.data() + 40) == kEmfSignature)
        return MetafileType::Emf;
    return std::nullopt;
}

std::optional<Metafile> Metafile::parse(const QByteArray& data, QString* error)
{
    auto fail = [&](const QString& message) -> std::optional<Metafile> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (data.size() > kMaxMetafileBytes)
        return fail(QStringLiteral("metafile larger than %1 bytes").arg(kMaxMetafileBytes));
    const auto type = metafileTypeOf(data);
    if (!type)
        return fail(QStringLiteral("not a placeable WMF or EMF metafile"));

    Metafile file;
    file.m_data = data;
    file.m_type = *type;
    const Bytes bytes(data.constData(), data.size());
    if (*type == MetafileType::Wmf) {
        if (!bytes.has(0, kPlaceableBytes + kWmfHeaderBytes))
            return fail(QStringLiteral("metafile header is truncated"));
        const QRect bounds(QPoint(bytes.i16(6), bytes.i16(8)), QPoint(bytes.i16(10) - 1, bytes.i16(12) - 1));
        const int inch = bytes.u16(14);
        const qint64 w = std::abs(qint64(bytes.i16(10)) - bytes.i16(6));
        const qint64 h = std::abs(qint64(bytes.i16(12)) - bytes.i16(8));
        if (inch == 0 || w == 0 || h == 0)
            return fail(QStringLiteral("metafile has an empty picture frame"));
        const qint64 headerType = bytes.u16(22);
        const qint64 headerWords = bytes.u16(24);
        if ((headerType != 1 && headerType != 2) || headerWords != kWmfHeaderBytes / 2)
            return fail(QStringLiteral("metafile header is corrupt"));
        file.m_bounds = bounds;
        file.m_size = QSize(int(std::max<qint64>(1, std::min<qint64>(w * 96 / inch, kMaxPictureEdge + 1))),
                            int(std::max<qint64>(1, std::min<qint64>(h * 96 / inch, kMaxPictureEdge + 1))));
        file.m_objects = bytes.u16(32);
        file.m_firstRecord = kPlaceableBytes + kWmfHeaderBytes;
        file.m_end = data.size();
    } else {
        if (!bytes.has(0, kEmfHeaderBytes))
            return fail(QStringLiteral("metafile header is truncated"));
        const qint64 headerSize = bytes.u32(4);
        const qint64 declared = bytes.u32(48);
        if (headerSize < kEmfHeaderBytes || headerSize % 4 != 0 || headerSize > data.size())
            return fail(QStringLiteral("metafile header size out of range"));
        if (declared < headerSize)
            return fail(QStringLiteral("metafile header is corrupt"));
        if (declared > data.size())
            return fail(QStringLiteral("metafile is truncated (%1 of %2 bytes)").arg(data.size()).arg(declared));
        // Reference-device pixels per 0.01 mm, from the header's device and
        // millimetre sizes; 96 dots per inch when they make no sense.
        const qint64 devW = bytes.i32(72), devH = bytes.i32(76), mmW = bytes.i32(80), mmH = bytes.i32(84);
        const double kx = devW > 0 && mmW > 0 ? double(devW) / (mmW * 100.0) : 96.0 / 2540.0;
        const double ky = devH > 0 && mmH > 0 ? double(devH) / (mmH * 100.0) : 96.0 / 2540.0;
        const qint64 fl = bytes.i32(24), ft = bytes.i32(28), fr = bytes.i32(32), fb = bytes.i32(36);
        qint64 w = (fr - fl) * 96 / 2540;
        qint64 h = (fb - ft) * 96 / 2540;
        if (fr > fl && fb > ft && w > 0 && h > 0) {
            file.m_frame = QRectF(fl * kx, ft * ky, (fr - fl) * kx, (fb - ft) * ky);
        } else {
            // No usable frame: the bounds, inclusive device pixels, stand in.
            const qint64 bl = bytes.i32(8), bt = bytes.i32(12), br = bytes.i32(16), bb = bytes.i32(20);
            w = br - bl + 1;
            h = bb - bt + 1;
            if (br < bl || bb < bt)
                return fail(QStringLiteral("metafile has an empty picture frame"));
            file.m_frame = QRectF(bl, bt, w, h);
        }
        file.m_size = QSize(int(std::clamp<qint64>(w, 1, kMaxPictureEdge + 1)),
                            int(std::clamp<qint64>(h, 1, kMaxPictureEdge + 1)));
        file.m_objects = bytes.u16(56);
        file.m_firstRecord = headerSize;
        file.m_end = declared;
    }
    if (!edgesWithinLimits(file.m_size))
        return fail(QStringLiteral("metafile declares an absurd size"));

    MetafilePlayer checker(file, nullptr, QSize());
    QString message;
    const bool ok = *type == MetafileType::Wmf ? checker.playWmf(&message) : checker.playEmf(&message);
    if (!ok)
        return fail(message);
    file.m_records = checker.records();
    return file;
}

QImage Metafile::render(QSize target) const
{
    if (!target.isValid())
        target = m_size;
    if (!edgesWithinLimits(target) || !pixelsWithinLimits(target))
        return QImage();
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    QPainter painter(&image);
    MetafilePlayer player(*this, &painter, target);
    if (m_type == MetafileType::Wmf)
        player.playWmf(nullptr);
    else
        player.playEmf(nullptr);
    painter.end();
    return image;
}

} // namespace viewing
