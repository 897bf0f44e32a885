#pragma once

// Our own reader of Windows metafiles: placeable WMF (key 0x9AC6CDD7) and EMF.
// It draws the common records with QPainter: lines, polylines, polygons,
// polypolygons, rectangles, round rectangles, ellipses, text, with pens,
// brushes and fonts, object selection and deletion, window and viewport origin
// and extent, saved states, background mode and colours. Other records are
// skipped.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace viewing {

enum class MetafileType { Wmf, Emf };

// The metafile type that these first bytes announce (at least 44 are needed to
// recognise an EMF), or nothing.
std::optional<MetafileType> metafileTypeOf(QByteArrayView head);

class Metafile
{
public:
    // Checks the whole file before anything is drawn: the header, every record
    // inside the file with a size in range, the parameters of every record we
    // draw inside their record, an end record. Anything else is a failure with
    // a message. Parsing and drawing take time linear in the file size.
    static std::optional<Metafile> parse(const QByteArray& data, QString* error = nullptr);

    MetafileType type() const { return m_type; }
    // The picture's own size in pixels at 96 dots per inch.
    QSize size() const { return m_size; }
    // Records before the end record, the header included.
    int recordCount() const { return m_records; }

    // Draws the picture scaled into a transparent image of the given size (the
    // picture's own size when target is not valid). A null image when the size
    // is beyond the picture limits. Drawing stops quietly once the work spent
    // on it exceeds a bound proportional to the image area, so a hostile file
    // cannot keep the painter busy for long.
    QImage render(QSize target = {}) const;

private:
    Metafile() = default;

    QByteArray m_data;
    MetafileType m_type = MetafileType::Wmf;
    QSize m_size;
    int m_records = 0;
    // WMF: the placeable bounding box in logical units and the object table size.
    QRect m_bounds;
    int m_objects = 0;
    qint64 m_firstRecord = 0;
    // EMF: the reference rectangle in reference-device pixels and the handle
    // count; the picture's frame maps onto the whole target image.
    QRectF m_frame;
    qint64 m_end = 0;

    friend class MetafilePlayer;
};

} // namespace viewing
