#include "viewing/PerceptualHash.h"
#include "viewing/SimilarGroups.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

using namespace viewing;

namespace {

using Hashes = QList<quint64>;
using Groups = QList<QList<qsizetype>>;

// The five JPEG wallpapers of Debian's ukui-wallpapers, different pictures.
const QString kWallpaperDir = QStringLiteral("/usr/share/backgrounds");
const QStringList kWallpapers = {QStringLiteral("2004default"), QStringLiteral("firstgeneration"),
                                 QStringLiteral("rhythm"), QStringLiteral("string"), QStringLiteral("the-mouse")};
const QStringList kVariants = {QStringLiteral("half"), QStringLiteral("quarter"), QStringLiteral("q40"),
                               QStringLiteral("crop")};

Groups toGroups(const std::vector<std::vector<qsizetype>>& groups)
{
    Groups out;
    for (const auto& g : groups)
        out.append(QList<qsizetype>(g.begin(), g.end()));
    return out;
}

// Single-linkage groups by comparing every pair.
Groups groupsByAllPairs(const std::vector<quint64>& hashes, int d)
{
    std::vector<qsizetype> label(hashes.size());
    std::iota(label.begin(), label.end(), 0);
    const auto root = [&](qsizetype x) {
        while (label[x] != x)
            x = label[x];
        return x;
    };
    for (size_t i = 0; i < hashes.size(); ++i)
        for (size_t j = i + 1; j < hashes.size(); ++j)
            if (hashDistance(hashes[i], hashes[j]) <= d)
                label[std::max(root(i), root(j))] = std::min(root(i), root(j));
    QMap<qsizetype, QList<qsizetype>> byRoot;  // a root is its group's first index
    for (size_t i = 0; i < hashes.size(); ++i)
        byRoot[root(i)].append(qsizetype(i));
    Groups out;
    for (const auto& g : byRoot)
        if (g.size() > 1)
            out.append(g);
    return out;
}

} // namespace

class TestSimilar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wallpaperPairs_data();
    void wallpaperPairs();
    void unreadable();
    void smallCases_data();
    void smallCases();
    void againstAllPairs_data();
    void againstAllPairs();

private:
    QTemporaryDir m_dir;
    QMap<QString, QSize> m_sizes;  // the pixel size of each file written
};

void TestSimilar::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (int w = 0; w < kWallpapers.size(); ++w) {
        const QString original = kWallpaperDir + QLatin1Char('/') + kWallpapers[w] + QStringLiteral(".jpg");
        QImage image(original);
        if (image.isNull())
            return;  // the package is missing; the pair test skips
        const QSize s = image.size();
        const int cut = s.width() * 3 / 100, cutY = s.height() * 3 / 100;
        const QRect crops[] = {QRect(cut, 0, s.width() - cut, s.height()), QRect(0, cutY, s.width(), s.height() - cutY),
                               QRect(0, 0, s.width() - cut, s.height()), QRect(0, 0, s.width(), s.height() - cutY)};
        const QMap<QString, std::pair<QImage, int>> variants = {
            {QStringLiteral("half"), {image.scaled(s / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 90}},
            {QStringLiteral("quarter"), {image.scaled(s / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 90}},
            {QStringLiteral("q40"), {image, 40}},
            {QStringLiteral("crop"), {image.copy(crops[w % 4]), 90}},  // a different edge for each
        };
        for (auto v = variants.begin(); v != variants.end(); ++v) {
            const QString name = kWallpapers[w] + QLatin1Char('-') + v.key();
            QVERIFY(v->first.save(m_dir.filePath(name + QStringLiteral(".jpg")), "JPEG", v->second));
            m_sizes[name] = v->first.size();
        }
        QVERIFY(QFile::link(original, m_dir.filePath(kWallpapers[w] + QStringLiteral(".jpg"))));
        m_sizes[kWallpapers[w]] = s;
    }
}

void TestSimilar::wallpaperPairs_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("similar");
    for (const QString& w : kWallpapers)
        for (const QString& v : kVariants) {
            const QString copy = w + QLatin1Char('-') + v;
            QTest::newRow(qPrintable(copy)) << w << copy << true;
        }
    for (int i = 0; i < kWallpapers.size(); ++i)
        for (int j = i + 1; j < kWallpapers.size(); ++j)
            QTest::newRow(qPrintable(kWallpapers[i] + QStringLiteral(" / ") + kWallpapers[j]))
                << kWallpapers[i] << kWallpapers[j] << false;
}

void TestSimilar::wallpaperPairs()
{
    if (m_sizes.isEmpty())
        QSKIP("ukui-wallpapers is not installed (scripts/setup.sh --tests installs it)");
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, similar);
    QString error;
    const auto fa = fingerprintFile(m_dir.filePath(a + QStringLiteral(".jpg")), &error);
    QVERIFY2(fa, qPrintable(error));
    const auto fb = fingerprintFile(m_dir.filePath(b + QStringLiteral(".jpg")), &error);
    QVERIFY2(fb, qPrintable(error));
    QCOMPARE(fa->size, m_sizes[a]);
    QCOMPARE(fb->size, m_sizes[b]);
    const int distance = hashDistance(fa->hash, fb->hash);
    // A picture symmetric about its vertical axis has its odd horizontal
    // frequencies near zero, where the median lies too; cut at its side, it
    // turns them all one way and half its bits with them.
    QEXPECT_FAIL("the-mouse-crop", "a left-right symmetric picture cut at its side", Continue);
    if (similar)
        QVERIFY2(distance <= 10, qPrintable(QStringLiteral("%1 bits apart").arg(distance)));
    else
        QVERIFY2(distance > 10, qPrintable(QStringLiteral("%1 bits apart").arg(distance)));
}

void TestSimilar::unreadable()
{
    QString error;
    QVERIFY(!fingerprintBytes(QByteArray("<html>not a picture</html>"), &error));
    QVERIFY(!error.isEmpty());
    error.clear();
    QVERIFY(!fingerprintFile(m_dir.filePath(QStringLiteral("missing.jpg")), &error));
    QVERIFY(!error.isEmpty());
}

void TestSimilar::smallCases_data()
{
    QTest::addColumn<Hashes>("hashes");
    QTest::addColumn<int>("maxDistance");
    QTest::addColumn<Groups>("expected");
    // 0 ~ 0x0F ~ 0xFF by 4 bits each, 0 and 0xFF 8 apart: one chain.
    QTest::newRow("chain joined") << Hashes{~0ull, 0xFF, 0, 0x0F} << 4 << Groups{{1, 2, 3}};
    QTest::newRow("exact duplicates") << Hashes{7, 9, 7, 7} << 0 << Groups{{0, 2, 3}};
    QTest::newRow("maxDistance 0, one bit apart") << Hashes{0, 1} << 0 << Groups{};
    QTest::newRow("distance exactly d") << Hashes{0, 0x8000'4000'2000'03FFull} << 13 << Groups{{0, 1}};
    QTest::newRow("distance d + 1") << Hashes{0, 0x8000'4000'2000'07FFull} << 13 << Groups{};
    QTest::newRow("groups by first index") << Hashes{0xF0, ~0ull, 0xF1, ~1ull, 0xF0} << 1 << Groups{{0, 2, 4}, {1, 3}};
    QTest::newRow("empty") << Hashes{} << 10 << Groups{};
    QTest::newRow("negative distance") << Hashes{3, 3} << -1 << Groups{};
    QTest::newRow("64 joins all") << Hashes{0, ~0ull, 5} << 64 << Groups{{0, 1, 2}};
}

void TestSimilar::smallCases()
{
    QFETCH(Hashes, hashes);
    QFETCH(int, maxDistance);
    QFETCH(Groups, expected);
    QCOMPARE(toGroups(nearGroups(std::vector<quint64>(hashes.begin(), hashes.end()), maxDistance)), expected);
}

void TestSimilar::againstAllPairs_data()
{
    QTest::addColumn<int>("maxDistance");
    QTest::newRow("d 2") << 2;
    QTest::newRow("d 10") << 10;
    QTest::newRow("d 17") << 17;
}

// Enough distinct hashes for the index on the hash's parts, with planted
// neighbours: bits flipped anywhere (so some lie spread over all four parts),
// chains of them, and exact copies.
void TestSimilar::againstAllPairs()
{
    QFETCH(int, maxDistance);
    QRandomGenerator random(22);
    std::vector<quint64> hashes;
    for (int i = 0; i < 5000; ++i)
        hashes.push_back(random.generate64());
    for (int i = 0; i < 3000; ++i) {
        quint64 h = hashes[random.bounded(int(hashes.size()))];
        for (int flips = random.bounded(maxDistance + 3); flips > 0; --flips)
            h ^= quint64(1) << random.bounded(64);
        hashes.push_back(h);
    }
    const Groups expected = groupsByAllPairs(hashes, maxDistance);
    QVERIFY(expected.size() > 100);
    QCOMPARE(toGroups(nearGroups(hashes, maxDistance)), expected);
    // Stopped, by the index or by all pairs: no groups, and no half of them.
    const std::atomic<bool> stop{true};
    QVERIFY(nearGroups(hashes, maxDistance, &stop).empty());
}

QTEST_GUILESS_MAIN(TestSimilar)
#include "tst_similar.moc"
