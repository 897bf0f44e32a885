#include "viewing/FitPicture.h"
#include "viewing/Metafile.h"
#include "viewing/PictureKind.h"
#include "viewing/PictureLoader.h"
#include "support/AvifWriter.h"
#include "support/MetafileWriter.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <turbojpeg.h>

#include <cstring>
#include <initializer_list>

using namespace viewing;

namespace {

QByteArray encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        qFatal("cannot encode a test picture as %s", format);
    return bytes;
}

// Four quadrants: red, green / blue, yellow.
QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    p.fillRect(0, 0, w, h, Qt::red);
    p.fillRect(w, 0, size.width() - w, h, Qt::green);
    p.fillRect(0, h, w, size.height() - h, Qt::blue);
    p.fillRect(w, h, size.width() - w, size.height() - h, Qt::yellow);
    return image;
}

bool near(QRgb a, QColor b, int tolerance = 40)
{
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance
        && std::abs(qBlue(a) - b.blue()) <= tolerance && qAlpha(a) > 200;
}

// The colour at a fraction of the image's width and height.
QRgb at(const QImage& image, double fx, double fy)
{
    return image.pixel(int(fx * image.width()), int(fy * image.height()));
}

// A GIF of palette indices with a 2-bit code size. The LZW stream sends a
// clear code before every pair of pixels, so the code width stays at 3 bits
// and no compression logic is needed.
QByteArray gifOf(int width, int height, const QList<QColor>& palette, const QList<int>& pixels)
{
    QByteArray out("GIF89a");
    put16(out, quint16(width));
    put16(out, quint16(height));
    out.append(char(0x81));  // global colour table of 4 entries
    out.append('\0').append('\0');
    for (int i = 0; i < 4; ++i) {
        const QColor c = palette.value(i, Qt::black);
        out.append(char(c.red())).append(char(c.green())).append(char(c.blue()));
    }
    out.append(',');
    put16(out, 0);
    put16(out, 0);
    put16(out, quint16(width));
    put16(out, quint16(height));
    out.append('\0');
    out.append(char(2));  // minimum code size

    QByteArray lzw;
    quint32 bits = 0;
    int count = 0;
    auto send = [&](int code) {
        bits |= quint32(code) << count;
        count += 3;
        while (count >= 8) {
            lzw.append(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    for (int i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            send(4);
        send(pixels[i]);
    }
    send(5);
    if (count > 0)
        lzw.append(char(bits & 0xFF));
    for (qsizetype at = 0; at < lzw.size(); at += 255) {
        const QByteArray block = lzw.mid(at, 255);
        out.append(char(block.size())).append(block);
    }
    out.append('\0').append(';');
    return out;
}

// A still lossy WebP made a one-frame animation: its VP8 chunk wrapped in an
// ANMF frame behind VP8X (animation flag) and ANIM chunks.
QByteArray animatedWebp(const QByteArray& still, QSize size)
{
    const auto put24 = [](QByteArray& out, int v) { out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char(v >> 16)); };
    const auto chunk = [](const char* tag, const QByteArray& data) {
        QByteArray out(tag);
        put32(out, quint32(data.size()));
        return out + data + (data.size() % 2 ? QByteArray(1, '\0') : QByteArray());
    };
    QByteArray vp8x(1, char(0x02));
    vp8x.append(3, '\0');
    put24(vp8x, size.width() - 1);
    put24(vp8x, size.height() - 1);
    QByteArray frame;
    put24(frame, 0);
    put24(frame, 0);
    put24(frame, size.width() - 1);
    put24(frame, size.height() - 1);
    put24(frame, 100);
    frame.append('\0');
    frame += still.mid(12);  // the VP8 chunk as it is
    const QByteArray body = "WEBP" + chunk("VP8X", vp8x) + chunk("ANIM", QByteArray(6, '\0')) + chunk("ANMF", frame);
    QByteArray out("RIFF");
    put32(out, quint32(body.size()));
    return out + body;
}

QByteArray progressiveJpeg(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(image))
        qFatal("cannot write a progressive JPEG");
    return bytes;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray randomBytes(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out(n, '\0');
    for (char& c : out)
        c = char(rng.bounded(256));
    return out;
}

// Offset of a JPEG marker's segment (the byte after FF xx).
qsizetype markerAt(const QByteArray& jpeg, uchar code)
{
    const qsizetype at = jpeg.indexOf(QByteArray("\xFF") + char(code));
    return at < 0 ? -1 : at + 2;
}

// Mean absolute difference per channel of two images of one size.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col]))
                + std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

// What Qt's own JPEG reader makes of the bytes at a size.
QImage qtDecoded(const QByteArray& jpeg, QSize size)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    if (size.isValid())
        reader.setScaledSize(size);
    return reader.read();
}

// A CMYK JPEG, which the fast decoder cannot turn into our pixel formats.
QByteArray cmykJpeg(QSize size)
{
    QByteArray pixels(size.width() * size.height() * 4, '\0');
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            char* p = pixels.data() + (y * size.width() + x) * 4;
            p[0] = char(x < size.width() / 2 ? 255 : 0);
            p[1] = char(y < size.height() / 2 ? 255 : 0);
            p[2] = 0;
            p[3] = char(40);
        }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (tjCompress2(tj, reinterpret_cast<const unsigned char*>(pixels.constData()), size.width(), 0, size.height(),
                    TJPF_CMYK, &out, &outSize, TJSAMP_444, 90, 0)
        != 0)
        qFatal("cannot write a CMYK JPEG: %s", tjGetErrorStr2(tj));
    const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(outSize));
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void fitBox_data();
    void fitBox();
    void pictureKinds_data();
    void pictureKinds();
    void scaledDecodeSizeExamples_data();
    void scaledDecodeSizeExamples();
    void scaledDecodeSizeCoversTheBox();

    void loadsEachFormat_data();
    void loadsEachFormat();
    void formatComesFromContent();
    void decodedForTheBox_data();
    void decodedForTheBox();
    void largeJpegDecodesScaledButKeepsItsSize();
    void jpegEndingCheck();
    void jpegDecodedAtTheScaledSize_data();
    void jpegDecodedAtTheScaledSize();
    void jpegOfOtherColourSpaces();
    void jpegFromTheDevicePosition();
    void failuresAreCleanMessages_data();
    void failuresAreCleanMessages();

    void wmfDrawsShapesWithTheirPens();
    void wmfTextAndPolygons();
    void emfDrawsShapesWithHandlesAndStockObjects();
    void metafileRenderedForABox();
    void wmfSavedStateComesBack();
    void drawingWorkIsBounded();
    void largeMetafilesStayLinear();

private:
    QTemporaryDir m_dir;
};

// A kind is told by an extension, a Content-Type or the first bytes; the
// other JPEG extensions only with markup.
void TestPictures::pictureKinds_data()
{
    QTest::addColumn<QString>("by");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("markup");
    QTest::addColumn<QString>("kind"); // its 画像種別; "" for none
    QTest::newRow(".JPG") << "extension" << QByteArray(".JPG") << false << "JPEG";
    QTest::newRow(".webp") << "extension" << QByteArray(".webp") << false << "WEBP";
    QTest::newRow(".Avif") << "extension" << QByteArray(".Avif") << false << "AVIF";
    QTest::newRow(".jpeg without markup") << "extension" << QByteArray(".jpeg") << false << "";
    QTest::newRow(".jpeg with markup") << "extension" << QByteArray(".jpeg") << true << "JPEG";
    QTest::newRow(".jfif with markup") << "extension" << QByteArray(".JFIF") << true << "JPEG";
    QTest::newRow(".tiff") << "extension" << QByteArray(".tiff") << true << "";
    QTest::newRow("image/jpeg; charset") << "type" << QByteArray("Image/JPEG; charset=binary") << false << "JPEG";
    QTest::newRow("image/x-ms-bmp") << "type" << QByteArray("image/x-ms-bmp") << false << "BMP";
    QTest::newRow("image/avif") << "type" << QByteArray(" image/avif ") << false << "AVIF";
    QTest::newRow("text/html") << "type" << QByteArray("text/html") << false << "";
    QTest::newRow("JPEG bytes") << "bytes" << QByteArrayLiteral("\xFF\xD8\xFF\xE0\0\x10JFIF") << false << "JPEG";
    QTest::newRow("PNG bytes") << "bytes" << QByteArrayLiteral("\x89PNG\r\n\x1A\n\0\0\0\x0D") << false << "PNG";
    QTest::newRow("GIF87a bytes") << "bytes" << QByteArrayLiteral("GIF87a") << false << "GIF";
    QTest::newRow("BMP bytes") << "bytes" << QByteArrayLiteral("BM\x36\x03") << false << "BMP";
    QTest::newRow("WebP bytes") << "bytes" << QByteArrayLiteral("RIFF\x24\0\0\0WEBPVP8 ") << false << "WEBP";
    QTest::newRow("AVIF bytes") << "bytes" << QByteArrayLiteral("\0\0\0\x1C" "ftypavif\0\0\0\0") << false << "AVIF";
    QTest::newRow("a RIFF that is no WebP") << "bytes" << QByteArrayLiteral("RIFF\x24\0\0\0AVI LIST") << false << "";
    QTest::newRow("HTML bytes") << "bytes" << QByteArrayLiteral("<!DOCTYPE html>") << false << "";
    QTest::newRow("too short") << "bytes" << QByteArrayLiteral("\xFF\xD8") << false << "";
}

void TestPictures::pictureKinds()
{
    QFETCH(QString, by);
    QFETCH(QByteArray, text);
    QFETCH(bool, markup);
    QFETCH(QString, kind);
    const PictureKind k = by == u"extension" ? kindOfExtension(QByteArrayView(text), markup)
                        : by == u"type"      ? kindOfContentType(text)
                                             : kindOfSignature(text);
    QCOMPARE(kindName(k), kind);
    QCOMPARE(kindOfName(kind), k);
    if (by == u"extension" && !kind.isEmpty())
        QCOMPARE(kindOfExtension(QString::fromLatin1(text), markup), k);
}

void TestPictures::fitBox_data()
{
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<bool>("keepRatio");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("panel");

    const QSize rec = kRecordPictureBox;
    const QSize search = kSearchPreviewBox;
    QTest::newRow("landscape 640x480") << true << true << rec << QSize(640, 480) << QSize(273, 204);
    QTest::newRow("portrait 300x400") << true << true << rec << QSize(300, 400) << QSize(216, 288);
    QTest::newRow("square is wider than the box") << true << true << rec << QSize(500, 500) << QSize(288, 288);
    QTest::newRow("10x1000 is 2 px wide") << true << true << rec << QSize(10, 1000) << QSize(2, 288);
    QTest::newRow("400x200") << true << true << rec << QSize(400, 200) << QSize(273, 136);
    QTest::newRow("200x400") << true << true << rec << QSize(200, 400) << QSize(144, 288);
    QTest::newRow("smaller than the box is enlarged") << true << true << rec << QSize(64, 48) << QSize(273, 204);
    QTest::newRow("stretch off") << false << true << rec << QSize(640, 480) << rec;
    QTest::newRow("keep-ratio off") << true << false << rec << QSize(640, 480) << rec;
    QTest::newRow("both off") << false << false << rec << QSize(10, 1000) << rec;
    QTest::newRow("empty picture") << true << true << rec << QSize(0, 0) << rec;
    QTest::newRow("zero width") << true << true << rec << QSize(0, 480) << rec;
    QTest::newRow("zero height") << true << true << rec << QSize(640, 0) << rec;
    QTest::newRow("null size") << true << true << rec << QSize() << rec;
    QTest::newRow("largest picture, no overflow") << true << true << rec << QSize(30000, 20000) << QSize(273, 182);
    QTest::newRow("file list box") << true << true << kFileListPreviewBox << QSize(640, 480) << QSize(273, 204);
    QTest::newRow("search 640x480") << true << true << search << QSize(640, 480) << QSize(195, 146);
    QTest::newRow("search 300x400") << true << true << search << QSize(300, 400) << QSize(135, 180);
    QTest::newRow("search square") << true << true << search << QSize(77, 77) << QSize(180, 180);
    QTest::newRow("search 10x1000") << true << true << search << QSize(10, 1000) << QSize(1, 180);
    QTest::newRow("search stretch off") << false << true << search << QSize(640, 480) << search;
    QTest::newRow("search empty") << true << true << search << QSize(0, 0) << search;
}

void TestPictures::fitBox()
{
    QFETCH(bool, stretch);
    QFETCH(bool, keepRatio);
    QFETCH(QSize, box);
    QFETCH(QSize, picture);
    QFETCH(QSize, panel);
    QCOMPARE(viewing::fitBox(stretch, keepRatio, box, picture), panel);
}

void TestPictures::scaledDecodeSizeExamples_data()
{
    QTest::addColumn<QSize>("full");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("decoded");

    const QSize box = kRecordPictureBox;
    QTest::newRow("4000x3000 at 1/8") << QSize(4000, 3000) << box << QSize(500, 375);
    QTest::newRow("24 megapixels at 1/8") << QSize(6000, 4000) << box << QSize(750, 500);
    QTest::newRow("1200x900 at 1/2") << QSize(1200, 900) << box << QSize(600, 450);
    QTest::newRow("portrait 1/4") << QSize(1500, 2400) << box << QSize(375, 600);
    QTest::newRow("fits the box") << QSize(200, 100) << box << QSize(200, 100);
    QTest::newRow("wider only, no fraction covers") << QSize(300, 200) << box << QSize(300, 200);
    QTest::newRow("no box") << QSize(4000, 3000) << QSize() << QSize(4000, 3000);
    QTest::newRow("empty box") << QSize(4000, 3000) << QSize(0, 0) << QSize(4000, 3000);
    QTest::newRow("far larger than the box: just covers") << QSize(24000, 16000) << box << QSize(432, 288);
    QTest::newRow("odd sizes round down") << QSize(4001, 3003) << box << QSize(500, 375);
}

void TestPictures::scaledDecodeSizeExamples()
{
    QFETCH(QSize, full);
    QFETCH(QSize, box);
    QFETCH(QSize, decoded);
    QCOMPARE(scaledDecodeSize(full, box), decoded);
}

// Over many shapes: the decoded size never drops below the box (or the
// picture, where it is smaller), keeps the aspect ratio to within a pixel of
// rounding, and stays within about twice what the box needs.
void TestPictures::scaledDecodeSizeCoversTheBox()
{
    const QList<QSize> boxes = {kRecordPictureBox, kSearchPreviewBox};
    for (const QSize box : boxes) {
        for (int w = 50; w <= 20000; w = w * 5 / 4 + 7) {
            for (int h = 50; h <= 20000; h = h * 4 / 3 + 11) {
                const QSize full(w, h);
                const QSize d = scaledDecodeSize(full, box);
                const QByteArray where = QStringLiteral("%1x%2 in %3x%4 -> %5x%6")
                                             .arg(w).arg(h).arg(box.width()).arg(box.height())
                                             .arg(d.width()).arg(d.height()).toLatin1();
                QVERIFY2(d.width() <= w && d.height() <= h, where);
                QVERIFY2(d.width() >= std::min(w, box.width()) && d.height() >= std::min(h, box.height()), where);
                // Rounding moves each edge by less than a pixel.
                QVERIFY2(std::abs(qint64(d.width()) * h - qint64(d.height()) * w) < std::max(w, h), where);
                if (d != full) {
                    const double cover = std::max(double(box.width()) / w, double(box.height()) / h);
                    QVERIFY2(d.width() <= 2 * std::ceil(w * cover) + 1, where);
                }
            }
        }
    }
}

void TestPictures::loadsEachFormat_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("isIcon");
    QTest::addColumn<int>("tolerance");

    const QImage image = quadrants(QSize(64, 48));
    QTest::newRow("jpeg") << encode(image, "JPG", 95) << "JPEG" << QSize(64, 48) << false << 40;
    QTest::newRow("png") << encode(image, "PNG") << "PNG" << QSize(64, 48) << false << 0;
    QTest::newRow("bmp") << encode(image, "BMP") << "BMP" << QSize(64, 48) << false << 0;
    QTest::newRow("ico") << encode(quadrants(QSize(32, 32)), "ICO") << "ICO" << QSize(32, 32) << true << 0;
    QList<int> pixels;
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x)
            pixels << (y < 3 ? (x < 4 ? 0 : 1) : (x < 4 ? 2 : 3));
    }
    QTest::newRow("gif") << gifOf(8, 6, {Qt::red, Qt::green, Qt::blue, Qt::yellow}, pixels) << "GIF" << QSize(8, 6)
                         << false << 0;
    QTest::newRow("webp") << encode(image, "WEBP", 90) << "WEBP" << QSize(64, 48) << false << 40;
    QTest::newRow("avif") << avifOf(image) << "AVIF" << QSize(64, 48) << false << 40;
}

void TestPictures::loadsEachFormat()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    QFETCH(QSize, size);
    QFETCH(bool, isIcon);
    QFETCH(int, tolerance);

    const QString path = writeFile(m_dir, QStringLiteral("each.%1").arg(format.toLower()), bytes);
    QString error;
    const auto picture = loadPicture(path, {}, &error);
    QVERIFY2(picture, qPrintable(error));
    QCOMPARE(picture->format, format);
    QCOMPARE(picture->fullSize, size);
    QCOMPARE(picture->image.size(), size);
    QCOMPARE(picture->isIcon, isIcon);
    QVERIFY(!picture->isMetafile);
    QVERIFY(!picture->isNull());
    const QImage& im = picture->image;
    QVERIFY(near(at(im, 0.2, 0.2), Qt::red, tolerance));
    QVERIFY(near(at(im, 0.8, 0.2), Qt::green, tolerance));
    QVERIFY(near(at(im, 0.2, 0.8), Qt::blue, tolerance));
    QVERIFY(near(at(im, 0.8, 0.8), Qt::yellow, tolerance));

    // The same bytes from memory, as an image-table blob is loaded.
    const auto fromMemory = loadPictureData(bytes);
    QVERIFY(fromMemory);
    QCOMPARE(fromMemory->image, picture->image);
}

void TestPictures::formatComesFromContent()
{
    const QImage image = quadrants(QSize(40, 30));
    struct Case { const char* name; QByteArray bytes; const char* format; };
    const Case cases[] = {
        {"UPPER.JPG", encode(image, "JPG"), "JPEG"},
        {"png-named.jpg", encode(image, "PNG"), "PNG"},
        {"jpeg-named.bmp", encode(image, "JPG"), "JPEG"},
        {"bmp-named.wmf", encode(image, "BMP"), "BMP"},
        {"no-extension", encode(image, "PNG"), "PNG"},
        {"webp-named.png", encode(image, "WEBP"), "WEBP"},
        {"avif-named.jpg", avifOf(image), "AVIF"},
    };
    for (const Case& c : cases) {
        QString error;
        const auto picture = loadPicture(writeFile(m_dir, c.name, c.bytes), {}, &error);
        QVERIFY2(picture, qPrintable(QStringLiteral("%1: %2").arg(c.name, error)));
        QCOMPARE(picture->format, QString::fromLatin1(c.format));
        QCOMPARE(picture->fullSize, QSize(40, 30));
    }
}

// Formats without decoding scales come for the 273 x 288 box at the size C
// that covers it with the picture's aspect ratio kept, edges rounded up:
//   1200 x 900: 288 / 900 is the larger share, C = 384 x 288.
//   600 x 1600: 273 / 600 is, C = 273 x 728.
//   1600 x 600 turned a quarter anticlockwise is shown 600 x 1600: 273 x 728,
//     its top right (green) now top left, its top left (red) bottom left.
//   200 x 100 fits: whole; without a box: whole.
// The yellow quadrant of an "alpha" picture is transparent.
void TestPictures::decodedForTheBox_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<int>("quarterTurns");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("full");
    QTest::addColumn<QSize>("decoded");
    const QSize box = kRecordPictureBox;
    for (const QString format : {"PNG", "WEBP", "AVIF"}) {
        const QByteArray f = format.toLatin1();
        QTest::newRow(f + " 1200x900") << format << QSize(1200, 900) << 0 << false << box << QSize(1200, 900)
                                       << QSize(384, 288);
        QTest::newRow(f + " portrait") << format << QSize(600, 1600) << 0 << false << box << QSize(600, 1600)
                                       << QSize(273, 728);
        QTest::newRow(f + " with alpha") << format << QSize(1200, 900) << 0 << true << box << QSize(1200, 900)
                                         << QSize(384, 288);
        QTest::newRow(f + " fits") << format << QSize(200, 100) << 0 << false << box << QSize(200, 100)
                                   << QSize(200, 100);
        QTest::newRow(f + " no box") << format << QSize(1200, 900) << 0 << false << QSize() << QSize(1200, 900)
                                     << QSize(1200, 900);
    }
    QTest::newRow("AVIF turned") << "AVIF" << QSize(1600, 600) << 1 << false << box << QSize(600, 1600)
                                 << QSize(273, 728);
    QTest::newRow("animated WEBP") << "animated WEBP" << QSize(1200, 900) << 0 << false << box << QSize(1200, 900)
                                   << QSize(384, 288);
}

void TestPictures::decodedForTheBox()
{
    QFETCH(QString, format);
    QFETCH(QSize, stored);
    QFETCH(int, quarterTurns);
    QFETCH(bool, alpha);
    QFETCH(QSize, box);
    QFETCH(QSize, full);
    QFETCH(QSize, decoded);

    QImage image = quadrants(stored);
    if (alpha) {
        image = image.convertToFormat(QImage::Format_ARGB32);
        QPainter p(&image);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(QRect(QPoint(stored.width() / 2, stored.height() / 2), stored), Qt::transparent);
    }
    const QByteArray bytes = format == u"AVIF"          ? avifOf(image, quarterTurns)
                           : format == u"WEBP"          ? encode(image, "WEBP", 90)
                           : format == u"animated WEBP" ? animatedWebp(encode(image, "WEBP", 90), stored)
                                                        : encode(image, "PNG");
    format = format.section(u' ', -1);
    const QString path = writeFile(m_dir, QStringLiteral("box.%1").arg(format.toLower()), bytes);
    for (const bool fromFile : {true, false}) {
        QString error;
        const auto picture = fromFile ? loadPicture(path, box, &error) : loadPictureData(bytes, box, &error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->format, format);
        QCOMPARE(picture->fullSize, full);
        QCOMPARE(picture->image.size(), decoded);
        const QImage& im = picture->image;
        const bool turned = quarterTurns == 1;
        QVERIFY(near(at(im, 0.2, 0.2), turned ? Qt::green : Qt::red));
        QVERIFY(near(at(im, 0.8, 0.2), turned ? Qt::yellow : Qt::green));
        QVERIFY(near(at(im, 0.2, 0.8), turned ? Qt::red : Qt::blue));
        if (alpha)
            QVERIFY2(qAlpha(at(im, 0.8, 0.8)) < 10, qPrintable(QString::number(qAlpha(at(im, 0.8, 0.8)), 16)));
        else
            QVERIFY(near(at(im, 0.8, 0.8), turned ? Qt::blue : Qt::yellow));
    }
}

void TestPictures::largeJpegDecodesScaledButKeepsItsSize()
{
    const QString path = writeFile(m_dir, "large.jpg", encode(quadrants(QSize(4000, 3000)), "JPG", 90));
    const QSize box = kRecordPictureBox;

    QString error;
    const auto scaled = loadPicture(path, box, &error);
    QVERIFY2(scaled, qPrintable(error));
    QCOMPARE(scaled->fullSize, QSize(4000, 3000));
    const QSize got = scaled->image.size();
    QVERIFY2(got.width() <= 2 * box.width() && got.height() <= 2 * box.height(),
             qPrintable(QStringLiteral("%1x%2").arg(got.width()).arg(got.height())));
    // Still covers the box, so the view only ever scales down.
    QVERIFY(got.width() >= box.width() && got.height() >= box.height());
    QCOMPARE(got.width() * 3, got.height() * 4);
    QVERIFY(near(at(scaled->image, 0.2, 0.2), Qt::red));
    QVERIFY(near(at(scaled->image, 0.8, 0.8), Qt::yellow));

    const auto full = loadPicture(path, {}, &error);
    QVERIFY2(full, qPrintable(error));
    QCOMPARE(full->image.size(), QSize(4000, 3000));
    QCOMPARE(full->fullSize, QSize(4000, 3000));

    // A progressive picture scales the same way.
    const auto progressive = loadPictureData(progressiveJpeg(quadrants(QSize(1600, 1200))), box, &error);
    QVERIFY2(progressive, qPrintable(error));
    QCOMPARE(progressive->fullSize, QSize(1600, 1200));
    QCOMPARE(progressive->image.size(), QSize(400, 300));
    QVERIFY(near(at(progressive->image, 0.8, 0.2), Qt::green));

    // A box larger than the picture decodes it whole.
    const auto roomy = loadPicture(path, QSize(5000, 5000), &error);
    QVERIFY2(roomy, qPrintable(error));
    QCOMPARE(roomy->image.size(), QSize(4000, 3000));
}

// A JPEG counts as a picture only when it runs to its end marker: the decoder
// would make a grey-bottomed picture of a file still being downloaded.
void TestPictures::jpegEndingCheck()
{
    const QByteArray jpeg = encode(quadrants(QSize(64, 48)), "JPG", 90);
    QVERIFY(jpeg.endsWith("\xFF\xD9"));

    auto complete = [](const QByteArray& bytes) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        return jpegIsComplete(buffer);
    };
    QVERIFY(complete(jpeg));
    QVERIFY(complete(jpeg + QByteArray(100, '\0')));  // padding after the end is harmless
    QVERIFY(!complete(jpeg.left(jpeg.size() - 2)));
    QVERIFY(!complete(jpeg.left(jpeg.size() - 1)));
    QVERIFY(!complete(jpeg.left(jpeg.size() / 2)));
    QVERIFY(!complete(jpeg.left(2)));
    QVERIFY(!complete(QByteArray("\xFF\xD8\xFF\xD8", 4)));
    // An end marker inside a segment (a comment here) does not end the file.
    QByteArray commented = jpeg.left(2) + QByteArray("\xFF\xFE\x00\x06\xFF\xD9\x00\x00", 8) + jpeg.mid(2);
    QVERIFY(complete(commented));
    QVERIFY(!complete(commented.left(10)));

    // Fed in pieces that split markers and lengths, the answer is the same.
    QImage noisy(600, 400, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < noisy.height(); ++y) {
        for (int x = 0; x < noisy.width(); ++x)
            noisy.setPixel(x, y, rng.generate() | 0xFF000000u);
    }
    QByteArray big = encode(noisy, "JPG", 95);
    QVERIFY(big.size() > 64 * 1024);
    QVERIFY(complete(big));
    QVERIFY(!complete(big.left(64 * 1024 + 1)));
    QVERIFY(!complete(big.left(big.size() - 1)));

    // The walk reads the frame header on its way.
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    const JpegLayout layout = scanJpeg(buffer);
    QVERIFY(layout.complete);
    QVERIFY(!layout.progressive);
    QCOMPARE(layout.size, QSize(64, 48));
    QCOMPARE(layout.components, 3);
    QCOMPARE(layout.scans, 1);

    // Trailing bytes after the end load; the picture is the same.
    const auto padded = loadPictureData(jpeg + QByteArray(64, 'x'));
    QVERIFY(padded);
    QCOMPARE(padded->fullSize, QSize(64, 48));
}

// Whatever the scale, the picture comes out at exactly the size the rule
// names, and as Qt's own reader would have made it. The box is 273 x 288; a
// picture larger than it is decoded at the smallest of 1/8, 1/4, 1/2 (edges
// rounded down) that still covers the size C which covers the box with the
// picture's aspect ratio kept (edges rounded up, at most the picture's):
//   4000 x 3000: C = 384 x 288; 1/8 = 500 x 375 covers it.
//   4001 x 3003: C = 384 x 288 (383.7 up); 1/8 = 500 x 375.
//   1400 x 1000: C = 404 x 288 (403.2 up); 1/8 = 175 x 125 and 1/4 = 350 x 250
//     are short of it; 1/2 = 700 x 500.
//   330 x 900: C = 273 x 745 (744.5 up); 1/2 = 165 x 450 is too narrow: whole.
//   300 x 200: C = 300 x 200, the picture itself: whole.
//   4000 x 8: C = 4000 x 8: whole.
// None is 16 times the box, past which C itself is decoded.
void TestPictures::jpegDecodedAtTheScaledSize_data()
{
    QTest::addColumn<QSize>("full");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("decoded");
    const QSize box = kRecordPictureBox;
    QTest::newRow("1/8") << QSize(4000, 3000) << box << QSize(500, 375);
    QTest::newRow("1/8 with odd edges") << QSize(4001, 3003) << box << QSize(500, 375);
    QTest::newRow("1/4 too small: 1/2") << QSize(1400, 1000) << box << QSize(700, 500);
    QTest::newRow("a tall one: whole") << QSize(330, 900) << box << QSize(330, 900);
    QTest::newRow("a little larger than the box") << QSize(300, 200) << box << QSize(300, 200);
    QTest::newRow("fits the box: whole") << QSize(270, 190) << box << QSize(270, 190);
    QTest::newRow("no box: whole") << QSize(1201, 799) << QSize() << QSize(1201, 799);
    QTest::newRow("a line of pixels") << QSize(4000, 8) << box << QSize(4000, 8);
}

void TestPictures::jpegDecodedAtTheScaledSize()
{
    QFETCH(QSize, full);
    QFETCH(QSize, box);
    QFETCH(QSize, decoded);
    const QByteArray jpeg = encode(quadrants(full), "JPG", 90);
    QString error;
    const auto picture = loadPictureData(jpeg, box, &error);
    QVERIFY2(picture, qPrintable(error));
    QCOMPARE(picture->fullSize, full);
    QCOMPARE(picture->image.size(), decoded);
    QCOMPARE(picture->image.format(), QImage::Format_RGB32);
    QCOMPARE(picture->format, QStringLiteral("JPEG"));
    QVERIFY(near(at(picture->image, 0.1, 0.1), Qt::red));
    QVERIFY(near(at(picture->image, 0.9, 0.1), Qt::green));
    QVERIFY(near(at(picture->image, 0.1, 0.9), Qt::blue));
    QVERIFY(near(at(picture->image, 0.9, 0.9), Qt::yellow));
    const QImage qt = qtDecoded(jpeg, decoded == full ? QSize() : decoded);
    QCOMPARE(qt.size(), decoded);
    QVERIFY2(meanDifference(picture->image, qt) < 2.0, qPrintable(QString::number(meanDifference(picture->image, qt))));
}

void TestPictures::jpegOfOtherColourSpaces()
{
    // Grey pictures stay grey, one byte a pixel, scaled or not. In the box
    // 1600 x 1200 must cover 384 x 288: 1/8 = 200 x 150 falls short, 1/4 does not.
    QImage grey(QSize(1600, 1200), QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        std::memset(grey.scanLine(y), y < grey.height() / 2 ? 30 : 220, size_t(grey.width()));
    const QByteArray greyJpeg = encode(grey, "JPG", 90);
    for (const auto& [box, decoded] :
         {std::pair{QSize(), QSize(1600, 1200)}, std::pair{kRecordPictureBox, QSize(400, 300)}}) {
        QString error;
        const auto picture = loadPictureData(greyJpeg, box, &error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->image.format(), QImage::Format_Grayscale8);
        QCOMPARE(picture->image.size(), decoded);
        QVERIFY(std::abs(qGray(at(picture->image, 0.5, 0.2)) - 30) <= 4);
        QVERIFY(std::abs(qGray(at(picture->image, 0.5, 0.8)) - 220) <= 4);
    }

    // CMYK comes out as Qt's reader converts it. 800 x 600 must cover
    // 384 x 288 too: 1/4 = 200 x 150 falls short, 1/2 does not.
    const QByteArray cmyk = cmykJpeg(QSize(800, 600));
    for (const auto& [box, decoded] : {std::pair{QSize(), QSize()}, std::pair{kRecordPictureBox, QSize(400, 300)}}) {
        QString error;
        const auto picture = loadPictureData(cmyk, box, &error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->fullSize, QSize(800, 600));
        QCOMPARE(picture->image.size(), decoded.isValid() ? decoded : QSize(800, 600));
        QCOMPARE(picture->image, qtDecoded(cmyk, decoded));
    }
}

// A picture that starts further into a device (an archive, a blob after a
// header) is read from the device's position, from memory and from a file.
void TestPictures::jpegFromTheDevicePosition()
{
    const QByteArray jpeg = encode(quadrants(QSize(1200, 900)), "JPG", 90);
    const QByteArray prefix(1000, '\xFF');
    const auto expected = loadPictureData(jpeg, kRecordPictureBox);
    QVERIFY(expected);

    QBuffer buffer;
    buffer.setData(prefix + jpeg);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVERIFY(buffer.seek(prefix.size()));
    QString error;
    auto fromBuffer = loadPictureFrom(buffer, kRecordPictureBox, &error);
    QVERIFY2(fromBuffer, qPrintable(error));
    QCOMPARE(fromBuffer->image, expected->image);

    QFile file(writeFile(m_dir, "offset.bin", prefix + jpeg + prefix));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.seek(prefix.size()));
    auto fromFile = loadPictureFrom(file, kRecordPictureBox, &error);
    QVERIFY2(fromFile, qPrintable(error));
    QCOMPARE(fromFile->image, expected->image);

    // Cut short after the position: still a failure.
    QFile cut(writeFile(m_dir, "offset-cut.bin", prefix + jpeg.left(jpeg.size() - 10)));
    QVERIFY(cut.open(QIODevice::ReadOnly));
    QVERIFY(cut.seek(prefix.size()));
    QVERIFY(!loadPictureFrom(cut, kRecordPictureBox, &error));
    QVERIFY2(error.contains(QStringLiteral("truncated")), qPrintable(error));
}

void TestPictures::failuresAreCleanMessages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");

    const QByteArray jpeg = encode(quadrants(QSize(64, 48)), "JPG", 90);
    QTest::newRow("truncated jpeg") << "cut.jpg" << jpeg.left(jpeg.size() * 2 / 3) << "truncated";
    QTest::newRow("jpeg without its end marker") << "noend.jpg" << jpeg.left(jpeg.size() - 2) << "truncated";
    QTest::newRow("zero-size file") << "empty.jpg" << QByteArray() << "empty";

    // SOF0: length(2) precision(1) height(2) width(2).
    QByteArray wide = jpeg;
    const qsizetype sof = markerAt(wide, 0xC0);
    QVERIFY(sof > 0);
    qToBigEndian<quint16>(40000, wide.data() + sof + 5);
    QTest::newRow("jpeg declaring 40000 wide") << "wide.jpg" << wide << "40000 x 48";

    // Complete as far as the markers go, but its code table is impossible.
    QByteArray bogus = jpeg;
    const qsizetype dht = markerAt(bogus, 0xC4);
    QVERIFY(dht > 0);
    for (int i = 0; i < 16; ++i)
        bogus[dht + 3 + i] = char(0xFF);
    QTest::newRow("jpeg with an impossible code table") << "bogus.jpg" << bogus << "JPEG";

    // A progressive file is decoded through whole-picture buffers even when
    // scaled, so its declared size is bounded before the decoder sees it.
    QByteArray progressive = progressiveJpeg(quadrants(QSize(64, 48)));
    const qsizetype sof2 = markerAt(progressive, 0xC2);
    QVERIFY(sof2 > 0);
    qToBigEndian<quint16>(30000, progressive.data() + sof2 + 3);
    qToBigEndian<quint16>(30000, progressive.data() + sof2 + 5);
    QTest::newRow("progressive jpeg declaring 30000 x 30000") << "prog.jpg" << progressive << "several scans";

    QByteArray bmp = encode(quadrants(QSize(8, 8)), "BMP");
    qToLittleEndian<qint32>(100000, bmp.data() + 18);
    qToLittleEndian<qint32>(100000, bmp.data() + 22);
    QTest::newRow("bmp declaring 100000 x 100000") << "huge.bmp" << bmp << "100000 x 100000";
    qToLittleEndian<qint32>(20000, bmp.data() + 18);
    qToLittleEndian<qint32>(20000, bmp.data() + 22);
    QTest::newRow("bmp of 400 megapixels") << "many.bmp" << bmp << "20000 x 20000";

    // A lossy WebP's frame header holds 14-bit edges at bytes 26 and 28.
    QByteArray webp = encode(quadrants(QSize(64, 48)), "WEBP", 90);
    QCOMPARE(webp.mid(12, 4), QByteArray("VP8 "));
    QTest::newRow("truncated webp") << "cut.webp" << webp.left(webp.size() * 2 / 3) << "truncated";
    qToLittleEndian<quint16>(0x3FFF, webp.data() + 26);
    qToLittleEndian<quint16>(0x3FFF, webp.data() + 28);
    QTest::newRow("webp of 268 megapixels") << "huge.webp" << webp << "16383 x 16383";

    // An AVIF's stored size is in its ispe property: version and flags, width,
    // height. The decoder, given our bounds, refuses it before it allocates.
    QByteArray avif = avifOf(quadrants(QSize(64, 48)));
    QTest::newRow("truncated avif") << "cut.avif" << avif.left(avif.size() * 2 / 3) << "Truncated";
    const qsizetype ispe = avif.indexOf("ispe");
    QVERIFY(ispe > 0);
    qToBigEndian<quint32>(40000, avif.data() + ispe + 8);
    QTest::newRow("avif declaring 40000 wide") << "wide.avif" << avif << "AVIF header is unreadable";

    QTest::newRow("random bytes as emf") << "noise.emf" << randomBytes(4096, 1) << "known format";
    QTest::newRow("random bytes as wmf") << "noise.wmf" << randomBytes(4096, 2) << "known format";
    QTest::newRow("text file as jpg") << "text.jpg" << QByteArray("<html>not a picture</html>") << "known format";
    QByteArray keyed;
    put32(keyed, 0x9AC6CDD7);
    keyed += randomBytes(4096, 3);
    QTest::newRow("wmf key then noise") << "keyed.wmf" << keyed << "metafile";

    {
        WmfWriter w(QRect(0, 0, 1000, 1000), 1440, 2);
        w.record(0x0214, {10, 10});
        w.rawRecord(4000, 0x0213, QByteArray(4, '\0'));
        QTest::newRow("wmf record past the end") << "past.wmf" << w.finish(false) << "past the end";
    }
    {
        WmfWriter w(QRect(0, 0, 1000, 1000), 1440, 2);
        w.record(0x0214, {10, 10});
        w.rawRecord(0, 0x0213, QByteArray(4, '\0'));
        QTest::newRow("wmf record of size 0") << "zero.wmf" << w.finish() << "size out of range";
    }
    {
        WmfWriter w(QRect(0, 0, 1000, 1000), 1440, 2);
        w.record(0x041B, {100, 100, 0, 0});
        QTest::newRow("wmf without end record") << "open.wmf" << w.finish(false) << "end record";
    }
    {
        WmfWriter w(QRect(0, 0, 1000, 1000), 1440, 2);
        w.record(0x0324, {500, 0, 0, 10, 10});  // 500 points announced, 2 present
        QTest::newRow("wmf polygon count beyond its record") << "poly.wmf" << w.finish() << "malformed";
    }
    {
        WmfWriter w(QRect(0, 0, 1000, 1000), 1440, 2);
        w.record(0x0538, {2, 3, 300, 0, 0, 10, 0, 10, 10});  // second polygon has 300 points
        QTest::newRow("wmf polypolygon counts beyond its record") << "ppoly.wmf" << w.finish() << "malformed";
    }
    {
        WmfWriter w(QRect(0, 0, 1000, 1000), 1440, 2);
        w.record(0x0521, {-4, 0x4241, 0, 0});
        QTest::newRow("wmf text of negative length") << "text.wmf" << w.finish() << "malformed";
    }
    QTest::newRow("wmf absurd frame") << "vast.wmf" << WmfWriter(QRect(0, 0, 32000, 100), 1, 0).finish() << "absurd";
    QTest::newRow("wmf empty frame") << "flat.wmf" << WmfWriter(QRect(0, 0, 0, 100), 1440, 0).finish() << "frame";
    QTest::newRow("wmf header only") << "head.wmf" << WmfWriter(QRect(0, 0, 10, 10), 96, 0).finish().left(30)
                                     << "truncated";
    {
        EmfWriter e(QSize(96, 48));
        e.record(43, {0, 0, 10, 10});
        e.rawRecord(43, 0x7FFFFFF0, QByteArray(16, '\0'));
        QTest::newRow("emf record past the end") << "past.emf" << e.finish() << "past the end";
    }
    {
        EmfWriter e(QSize(96, 48));
        e.rawRecord(43, 0, QByteArray());
        QTest::newRow("emf record of size 0") << "zero.emf" << e.finish() << "size out of range";
    }
    {
        EmfWriter e(QSize(96, 48));
        e.rawRecord(43, 10, QByteArray(2, '\0'));
        QTest::newRow("emf record size not a multiple of 4") << "odd.emf" << e.finish() << "size out of range";
    }
    {
        EmfWriter e(QSize(96, 48));
        e.record(86, {0, 0, 10, 10, 1000, 0, 0});  // Polygon16 announcing 1000 points
        QTest::newRow("emf polygon count beyond its record") << "poly.emf" << e.finish() << "malformed";
    }
    {
        EmfWriter e(QSize(96, 48));
        e.record(91, {0, 0, 10, 10, 2, 6, 3, 4, 0, 0, 0, 0, 0, 0});  // counts sum to 7, total says 6
        QTest::newRow("emf polypolygon counts disagree") << "ppoly.emf" << e.finish() << "malformed";
    }
    {
        EmfWriter e(QSize(96, 48));
        e.record(84, {0, 0, 10, 10, 1, 0, 0, 5, 5, 1000, 76, 0, 0, 0, 0, 0, 0});
        QTest::newRow("emf text beyond its record") << "text.emf" << e.finish() << "malformed";
    }
    {
        EmfWriter e(QSize(96, 48));
        e.record(43, {0, 0, 10, 10});
        QTest::newRow("emf shorter than its header says") << "short.emf" << e.finish(true, 400) << "truncated";
        QTest::newRow("emf without end record") << "open.emf" << EmfWriter(QSize(96, 48)).finish(false)
                                                << "end record";
    }
}

void TestPictures::failuresAreCleanMessages()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);

    const QString path = writeFile(m_dir, name, bytes);
    QString error;
    const auto picture = loadPicture(path, {}, &error);
    QVERIFY(!picture);
    QVERIFY2(error.contains(reason), qPrintable(error));

    // With a box, and from memory, the answer is the same.
    QString boxed;
    QVERIFY(!loadPicture(path, kRecordPictureBox, &boxed));
    QCOMPARE(boxed, error);
    if (!bytes.isEmpty())
        QVERIFY(!loadPictureData(bytes, {}, nullptr));
}

// 200 x 100 pixels; logical units are tenths of pixels through the window
// extent, while the frame is given in its own units.
void TestPictures::wmfDrawsShapesWithTheirPens()
{
    WmfWriter w(QRect(0, 0, 2000, 1000), 960, 4);
    w.record(0x020B, {0, 0});        // SetWindowOrg
    w.record(0x020C, {1000, 2000});  // SetWindowExt (y, x)
    w.pen(0, 60, qRgb(255, 0, 0));   // slot 0: red, 6 px
    w.brush(1, 0);                   // slot 1: hollow
    w.record(0x012D, {0});
    w.record(0x012D, {1});
    w.record(0x041B, {900, 900, 100, 100});  // Rectangle (10,10)-(90,90)
    w.record(0x01F0, {0});                   // delete the red pen: slot 0 is free again
    w.pen(0, 60, qRgb(0, 0, 255));           // blue, into slot 0
    w.brush(0, qRgb(0, 255, 0));             // slot 2: green
    w.record(0x012D, {0});
    w.record(0x012D, {2});
    w.record(0x0418, {900, 1900, 100, 1100});  // Ellipse (110,10)-(190,90)
    const QString path = writeFile(m_dir, "shapes.wmf", w.finish());

    QString error;
    const auto picture = loadPicture(path, {}, &error);
    QVERIFY2(picture, qPrintable(error));
    QCOMPARE(picture->format, QStringLiteral("WMF"));
    QVERIFY(picture->isMetafile);
    QCOMPARE(picture->fullSize, QSize(200, 100));
    const QImage& im = picture->image;
    QCOMPARE(im.size(), QSize(200, 100));

    QVERIFY(near(im.pixel(10, 50), Qt::red, 0));   // left edge of the rectangle
    QVERIFY(near(im.pixel(50, 10), Qt::red, 0));   // top edge
    QVERIFY(near(im.pixel(89, 60), Qt::red, 0));   // right edge
    QCOMPARE(qAlpha(im.pixel(50, 50)), 0);         // hollow inside
    QCOMPARE(qAlpha(im.pixel(100, 50)), 0);        // between the shapes
    QVERIFY(near(im.pixel(111, 50), Qt::blue, 0)); // the ellipse's pen, from the reused slot
    QVERIFY(near(im.pixel(150, 11), Qt::blue, 0));
    QVERIFY(near(im.pixel(150, 50), Qt::green, 0)); // its brush
    QCOMPARE(qAlpha(im.pixel(113, 13)), 0);         // the corner outside the ellipse
    QCOMPARE(qAlpha(im.pixel(2, 2)), 0);
}

void TestPictures::wmfTextAndPolygons()
{
    WmfWriter w(QRect(0, 0, 300, 100), 96, 4);  // one logical unit per pixel
    w.pen(5, 0, 0);                              // PS_NULL
    w.brush(0, qRgb(0, 0, 255));
    w.record(0x012D, {0});
    w.record(0x012D, {1});
    w.record(0x0324, {3, 10, 90, 50, 10, 90, 90});  // triangle
    w.record(0x0538, {2, 4, 4,                      // two squares, the second inside the first
                      110, 10, 190, 10, 190, 90, 110, 90,
                      130, 30, 170, 30, 170, 70, 130, 70});
    w.record(0x0209, {0x0000, 0x0000});  // black text
    w.record(0x0102, {1});               // transparent background
    w.record(0x02FB, {-40, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0});  // 40 px bold font, slot 2
    w.record(0x012D, {2});
    w.record(0x0521, {4, 0x4848, 0x4848, 60, 210});  // TextOut "HHHH" at (210, 60), top aligned
    const QString path = writeFile(m_dir, "text.wmf", w.finish());

    QString error;
    const auto picture = loadPicture(path, {}, &error);
    QVERIFY2(picture, qPrintable(error));
    const QImage& im = picture->image;
    QCOMPARE(im.size(), QSize(300, 100));
    QVERIFY(near(im.pixel(50, 60), Qt::blue, 0));   // inside the triangle
    QCOMPARE(qAlpha(im.pixel(15, 20)), 0);          // outside it
    QVERIFY(near(im.pixel(120, 50), Qt::blue, 0));  // between the two squares
    QCOMPARE(qAlpha(im.pixel(150, 50)), 0);         // the inner square is a hole (alternate fill)

    int black = 0;
    for (int y = 55; y < 100; ++y) {
        for (int x = 205; x < 300; ++x)
            black += im.pixel(x, y) == qRgb(0, 0, 0) ? 1 : 0;
    }
    QVERIFY2(black > 100, qPrintable(QString::number(black)));
    int above = 0;
    for (int y = 0; y < 50; ++y) {
        for (int x = 205; x < 300; ++x)
            above += qAlpha(im.pixel(x, y)) != 0 ? 1 : 0;
    }
    QCOMPARE(above, 0);
}

void TestPictures::emfDrawsShapesWithHandlesAndStockObjects()
{
    EmfWriter e(QSize(192, 96));
    e.record(17, {8});            // MM_ANISOTROPIC
    e.record(9, {1920, 960});     // window extent: tenths of pixels
    e.record(11, {192, 96});      // viewport extent
    e.record(38, {1, 0, 60, 0, 0x0000FF});  // pen 1: red, 6 px
    e.record(37, {1});
    e.record(37, {0x80000005});   // NULL_BRUSH
    e.record(43, {100, 100, 900, 900});     // Rectangle (10,10)-(90,90)
    e.record(39, {2, 0, 0x00FF00, 0});      // brush 2: green
    e.record(37, {2});
    e.record(37, {0x80000008});   // NULL_PEN
    e.record(42, {1100, 100, 1900, 900});   // Ellipse (110,10)-(190,90), no outline
    e.record(40, {1});            // deleting the selected pen leaves drawing as it was
    const QString path = writeFile(m_dir, "shapes.emf", e.finish());

    QString error;
    const auto picture = loadPicture(path, {}, &error);
    QVERIFY2(picture, qPrintable(error));
    QCOMPARE(picture->format, QStringLiteral("EMF"));
    QCOMPARE(picture->fullSize, QSize(192, 96));
    const QImage& im = picture->image;
    QVERIFY(near(im.pixel(10, 50), Qt::red, 0));
    QVERIFY(near(im.pixel(50, 89), Qt::red, 0));
    QCOMPARE(qAlpha(im.pixel(50, 50)), 0);
    QVERIFY(near(im.pixel(150, 50), Qt::green, 0));
    QVERIFY(near(im.pixel(112, 50), Qt::green, 0));  // no red or black outline
    QCOMPARE(qAlpha(im.pixel(100, 50)), 0);
}

void TestPictures::metafileRenderedForABox()
{
    WmfWriter w(QRect(0, 0, 4000, 2000), 96, 1);  // 4000 x 2000 pixels
    w.pen(0, 100, qRgb(255, 0, 0));
    w.record(0x012D, {0});
    w.record(0x0214, {1000, 0});      // MoveTo (0, 1000)
    w.record(0x0213, {1000, 4000});   // LineTo (4000, 1000)
    const QByteArray bytes = w.finish();

    QString error;
    const auto picture = loadPictureData(bytes, kRecordPictureBox, &error);
    QVERIFY2(picture, qPrintable(error));
    QCOMPARE(picture->fullSize, QSize(4000, 2000));
    // Drawn straight at the size that covers the box, not at 4000 x 2000.
    QCOMPARE(picture->image.size(), QSize(576, 288));
    QVERIFY(near(picture->image.pixel(288, 144), Qt::red, 0));
    QCOMPARE(qAlpha(picture->image.pixel(288, 20)), 0);

    const auto parsed = Metafile::parse(bytes);
    QVERIFY(parsed);
    QCOMPARE(parsed->recordCount(), 5);  // the header and four drawing records
    QVERIFY(parsed->render(QSize(40000, 10)).isNull());
}

void TestPictures::wmfSavedStateComesBack()
{
    WmfWriter w(QRect(0, 0, 100, 100), 96, 3);
    w.pen(5, 0, 0);                    // slot 0: no outline
    w.brush(0, qRgb(255, 0, 0));       // slot 1: red
    w.brush(0, qRgb(0, 0, 255));       // slot 2: blue
    w.record(0x012D, {0});
    w.record(0x012D, {1});
    w.record(0x001E, {});              // SaveDC with red
    w.record(0x012D, {2});
    w.record(0x020B, {50, 50});        // window origin moved: shapes shift up-left
    w.record(0x041B, {60, 60, 50, 50});  // blue square at (0,0)-(10,10)
    w.record(0x0127, {0xFFFF});        // RestoreDC(-1): red brush, origin back
    w.record(0x041B, {60, 60, 50, 50});  // red square at (50,50)-(60,60)
    w.record(0x0127, {0xFFFF});        // nothing left to restore: ignored
    const auto picture = loadPictureData(w.finish());
    QVERIFY(picture);
    QVERIFY(near(picture->image.pixel(5, 5), Qt::blue, 0));
    QVERIFY(near(picture->image.pixel(55, 55), Qt::red, 0));
    QCOMPARE(qAlpha(picture->image.pixel(30, 30)), 0);
}

// A file of many shapes over the whole picture is still a picture, but the
// painting stops once its work passes a bound proportional to the picture's
// area: the last shape here is never drawn.
void TestPictures::drawingWorkIsBounded()
{
    WmfWriter w(QRect(0, 0, 100, 100), 96, 2);
    w.brush(0, qRgb(255, 0, 0));
    w.brush(0, qRgb(0, 0, 255));
    w.record(0x012D, {0});
    for (int i = 0; i < 2000; ++i)
        w.record(0x041B, {100, 100, 0, 0});
    w.record(0x012D, {1});
    w.record(0x041B, {100, 100, 0, 0});
    const QByteArray bytes = w.finish();

    const auto parsed = Metafile::parse(bytes);
    QVERIFY(parsed);
    QCOMPARE(parsed->recordCount(), 2006);  // header, 2 brushes, 2 selections, 2001 rectangles
    const auto picture = loadPictureData(bytes);
    QVERIFY(picture);
    QVERIFY(near(picture->image.pixel(50, 50), Qt::red, 0));
}

// Inputs that cost the square of their size without care: a full object
// table that every further object must search (2 million of them: minutes
// when each searches 65,535 slots), and shapes of many points in a small
// area. Both load, the first polygon drawn.
void TestPictures::largeMetafilesStayLinear()
{
    WmfWriter w(QRect(0, 0, 100, 100), 96, 65535);
    w.pen(5, 0, 0); // PS_NULL
    w.brush(0, qRgb(0, 0, 255));
    w.record(0x012D, {0});
    w.record(0x012D, {1});
    for (int i = 0; i < 65535 + 2000000; ++i)
        w.brush(0, qRgb(i & 0xFF, 0, 0));
    // The square from (10, 10) to (90, 90), its edges walked in 16,000 points.
    QVector<int> polygon{16000};
    for (int i = 0; i < 16000; ++i) {
        const int side = i / 4000;
        const int step = (i % 4000) * 80 / 4000;
        const int x = side == 0 ? 10 + step : side == 1 ? 90 : side == 2 ? 90 - step : 10;
        const int y = side == 0 ? 10 : side == 1 ? 10 + step : side == 2 ? 90 : 90 - step;
        polygon << x << y;
    }
    QByteArray params;
    for (int v : polygon)
        put16(params, quint16(v));
    for (int i = 0; i < 300; ++i)
        w.rawRecord(quint32(3 + polygon.size()), 0x0324, params);
    const QByteArray bytes = w.finish();
    QVERIFY(bytes.size() > 20 * 1024 * 1024);
    const auto picture = loadPictureData(bytes);
    QVERIFY(picture);
    QCOMPARE(picture->image.size(), QSize(100, 100));
    QVERIFY(near(picture->image.pixel(50, 50), Qt::blue, 0));
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
