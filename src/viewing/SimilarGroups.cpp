#include "viewing/SimilarGroups.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <limits>
#include <numeric>
#include <thread>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUILLON_AVX512_POPCOUNT 1
#endif

namespace viewing {

namespace {

class UnionFind
{
public:
    explicit UnionFind(quint32 n) : m_parent(n) { std::iota(m_parent.begin(), m_parent.end(), quint32(0)); }

    quint32 find(quint32 x)
    {
        while (m_parent[x] != x) {
            m_parent[x] = m_parent[m_parent[x]];
            x = m_parent[x];
        }
        return x;
    }

    void unite(quint32 a, quint32 b)
    {
        a = find(a);
        b = find(b);
        if (a != b)
            m_parent[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<quint32> m_parent;
};

// The groups of the distinct hashes, sorted ascending: a hash's place among
// them is its id. Pairs within the distance are rare, so the comparisons
// carry only hashes and a pair found looks its ids up.
class Groups : public UnionFind
{
public:
    explicit Groups(const std::vector<quint64>& distinct) : UnionFind(quint32(distinct.size())), m_distinct(&distinct) {}

    void join(quint64 a, quint64 b) { unite(idOf(a), idOf(b)); }

private:
    quint32 idOf(quint64 h) const
    {
        return quint32(std::lower_bound(m_distinct->begin(), m_distinct->end(), h) - m_distinct->begin());
    }

    const std::vector<quint64>* m_distinct;
};

struct Block
{
    const quint64* hash;
    quint32 size;
};

// Every pair of a's hashes with b's within d bits joins a group; with
// `within`, a and b are one block and each pair is taken once.
__attribute__((target_clones("popcnt", "default")))
void compareScalar(Block a, Block b, bool within, int d, Groups& groups)
{
    for (quint32 i = 0; i < a.size; ++i) {
        const quint64 x = a.hash[i];
        for (quint32 j = within ? i + 1 : 0; j < b.size; ++j)
            if (__builtin_popcountll(x ^ b.hash[j]) <= d)
                groups.join(x, b.hash[j]);
    }
}

#ifdef QUILLON_AVX512_POPCOUNT
// The same, four hashes of a against eight of b at a time.
__attribute__((target("avx512f,avx512vpopcntdq"), always_inline)) inline __mmask8 nearMask(__m512i x, __m512i y,
                                                                                          __m512i limit)
{
    return _mm512_cmple_epu64_mask(_mm512_popcnt_epi64(_mm512_xor_si512(x, y)), limit);
}

__attribute__((target("avx512f,avx512vpopcntdq")))
void compareAvx512(Block a, Block b, bool within, int d, Groups& groups)
{
    const __m512i limit = _mm512_set1_epi64(d);
    for (quint32 i = 0; i < a.size; i += 4) {
        const quint32 rows = std::min(a.size - i, 4u);
        __m512i x[4];
        for (quint32 k = 0; k < 4; ++k)
            x[k] = _mm512_set1_epi64(qint64(a.hash[i + std::min(k, rows - 1)]));
        for (quint32 j = within ? i + 1 : 0; j < b.size; j += 8) {
            // Lanes past the end read as 0 and may pass; they are dropped
            // with the rare hits below.
            const __mmask8 live = b.size - j >= 8 ? __mmask8(0xFF) : __mmask8((1u << (b.size - j)) - 1);
            const __m512i y = _mm512_maskz_loadu_epi64(live, b.hash + j);
            const __mmask8 h0 = nearMask(x[0], y, limit), h1 = nearMask(x[1], y, limit),
                           h2 = nearMask(x[2], y, limit), h3 = nearMask(x[3], y, limit);
            if (__mmask8(h0 | h1 | h2 | h3) == 0)
                continue;
            const unsigned hits[4] = {h0, h1, h2, h3};
            for (quint32 k = 0; k < rows; ++k) {
                unsigned rest = hits[k] & live;
                if (within && i + k + 1 > j)  // each pair once, and no hash with itself
                    rest &= i + k + 1 - j >= 8 ? 0u : ~0u << (i + k + 1 - j);
                for (; rest; rest &= rest - 1)
                    groups.join(a.hash[i + k], b.hash[j + unsigned(std::countr_zero(rest))]);
            }
        }
    }
}
#endif

// The distinct hashes ordered by the value of one 16-bit part: those whose
// part has value v are hash[offsets[v]] to hash[offsets[v + 1] - 1].
struct PartIndex
{
    std::vector<quint32> offsets = std::vector<quint32>(65537);
    std::vector<quint64> hash;

    Block bucket(quint32 v) const { return Block{hash.data() + offsets[v], offsets[v + 1] - offsets[v]}; }
};

// The run a thread gathers neighbour buckets into.
using Scratch = std::vector<quint64>;

// Each bucket v of [from, to) against itself and against its neighbours
// v ^ mask above it, so that every pair of buckets is taken once.
using ScanValues = void (*)(const PartIndex&, const std::vector<quint16>& masks, quint32 from, quint32 to, int d,
                            Groups&, Scratch&);

void scanScalar(const PartIndex& part, const std::vector<quint16>& masks, quint32 from, quint32 to, int d,
                Groups& groups, Scratch&)
{
    for (quint32 v = from; v < to; ++v) {
        const Block a = part.bucket(v);
        if (a.size == 0)
            continue;
        compareScalar(a, a, true, d, groups);
        for (quint16 m : masks)
            if (const quint32 w = v ^ m; w > v && part.offsets[w + 1] != part.offsets[w])
                compareScalar(a, part.bucket(w), false, d, groups);
    }
}

#ifdef QUILLON_AVX512_POPCOUNT
// Buckets hold some fifteen hashes each: the neighbours of a value are first
// gathered into one run, so that its hashes meet them in one long pass.
__attribute__((target("avx512f,avx512vpopcntdq")))
void scanAvx512(const PartIndex& part, const std::vector<quint16>& masks, quint32 from, quint32 to, int d,
                Groups& groups, Scratch& run)
{
    for (quint32 v = from; v < to; ++v) {
        const Block a = part.bucket(v);
        if (a.size == 0)
            continue;
        compareAvx512(a, a, true, d, groups);
        quint32 count = 0;
        for (quint16 m : masks)
            if (const quint32 w = v ^ m; w > v)
                count += part.offsets[w + 1] - part.offsets[w];
        if (count == 0)
            continue;
        if (run.size() < count + 8)  // the copies below may write a vector's width past the end
            run.resize(2 * count + 8);
        quint32 at = 0;
        for (quint16 m : masks) {
            const quint32 w = v ^ m;
            if (w <= v)
                continue;
            const Block b = part.bucket(w);
            for (quint32 k = 0; k < b.size; k += 8) {
                const __mmask8 live = b.size - k >= 8 ? __mmask8(0xFF) : __mmask8((1u << (b.size - k)) - 1);
                _mm512_storeu_si512(run.data() + at + k, _mm512_maskz_loadu_epi64(live, b.hash + k));
            }
            at += b.size;
        }
        compareAvx512(a, Block{run.data(), count}, false, d, groups);
    }
}
#endif

bool vectorPopcount()
{
#ifdef QUILLON_AVX512_POPCOUNT
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vpopcntdq");
#else
    return false;
#endif
}

ScanValues pickScan()
{
#ifdef QUILLON_AVX512_POPCOUNT
    if (vectorPopcount())
        return scanAvx512;
#endif
    return scanScalar;
}

// The hashes sorted with their indexes: a radix sort, four passes of 16 bits.
struct Entry
{
    quint64 hash;
    quint32 index;
};

std::vector<Entry> sortedEntries(const std::vector<quint64>& hashes)
{
    std::vector<Entry> entries(hashes.size()), spare(hashes.size());
    for (size_t i = 0; i < hashes.size(); ++i)
        entries[i] = Entry{hashes[i], quint32(i)};
    std::vector<quint32> offsets(65536);
    for (int shift = 0; shift < 64; shift += 16) {
        std::fill(offsets.begin(), offsets.end(), 0);
        for (const Entry& e : entries)
            ++offsets[(e.hash >> shift) & 0xFFFF];
        quint32 sum = 0;
        for (quint32& o : offsets)
            sum += std::exchange(o, sum);
        for (const Entry& e : entries)
            spare[offsets[(e.hash >> shift) & 0xFFFF]++] = e;
        entries.swap(spare);
    }
    return entries;
}

// The 16-bit masks of 1 to r bits set.
std::vector<quint16> masksUpTo(int r)
{
    std::vector<quint16> masks;
    for (quint32 m = 1; m < 65536; ++m)
        if (std::popcount(m) <= r)
            masks.push_back(quint16(m));
    return masks;
}

// Pigeonhole over the four 16-bit parts: with radii r_p whose r_p + 1 add up
// to d + 1, two hashes within d bits differ by at most r_p bits in some part
// p. A part with radius -1 is not probed.
std::array<int, 4> partRadii(int d)
{
    std::array<int, 4> radii{};
    for (int p = 0; p < 4; ++p)
        radii[p] = (d + 1) / 4 + (p < (d + 1) % 4 ? 1 : 0) - 1;
    return radii;
}

// Whether probing the parts' neighbourhoods looks at a small enough share of
// all pairs to beat comparing them all.
bool indexPays(quint32 distinct, int d)
{
    if (distinct < 4096)
        return false;
    double share = 0;
    for (int r : partRadii(d)) {
        double ball = 0, term = 1;
        for (int k = 0; k <= r; ++k) {
            ball += term;
            term = term * (16 - k) / (k + 1);
        }
        share += ball / 65536;
    }
    return share < 0.25;
}

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// Rows at a time, each against those after it, so that a stop is seen soon.
void groupAllPairs(const std::vector<quint64>& distinct, int d, Groups& groups, const std::atomic<bool>* stop)
{
    const quint32 n = quint32(distinct.size());
    const quint32 rowsPerTurn = std::max<quint32>(4, quint32(std::min<quint64>(n, (quint64(1) << 26) / n)));
    for (quint32 start = 0; start < n && !stopped(stop); start += rowsPerTurn) {
        const Block rows{distinct.data() + start, std::min(rowsPerTurn, n - start)};
        const Block rest{distinct.data() + start, n - start};
#ifdef QUILLON_AVX512_POPCOUNT
        if (vectorPopcount()) {
            compareAvx512(rows, rest, true, d, groups);
            continue;
        }
#endif
        compareScalar(rows, rest, true, d, groups);
    }
}

// Each part in turn: the hashes bucketed by the part's value, every bucket
// compared with the buckets within the part's radius. Each thread joins into
// groups of its own, merged at the end.
void groupByParts(const std::vector<quint64>& distinct, int d, Groups& groups, const std::atomic<bool>* stop)
{
    const quint32 n = quint32(distinct.size());
    const ScanValues scan = pickScan();
    const unsigned threads = n < 65536 ? 1u : std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<Groups> local;
    for (unsigned t = 1; t < threads; ++t)
        local.emplace_back(distinct);

    PartIndex part;
    part.hash.resize(n);
    const std::array<int, 4> radii = partRadii(d);
    for (int p = 0; p < 4; ++p) {
        if (radii[p] < 0)
            continue;
        const int shift = 16 * p;
        std::fill(part.offsets.begin(), part.offsets.end(), 0);
        for (quint64 h : distinct)
            ++part.offsets[((h >> shift) & 0xFFFF) + 1];
        std::partial_sum(part.offsets.begin(), part.offsets.end(), part.offsets.begin());
        {
            std::vector<quint32> next(part.offsets.begin(), part.offsets.end() - 1);
            for (quint64 h : distinct)
                part.hash[next[(h >> shift) & 0xFFFF]++] = h;
        }
        const std::vector<quint16> masks = masksUpTo(radii[p]);

        // Chunks of values taken in turn keep the threads busy when the
        // buckets are uneven.
        constexpr quint32 kChunk = 256;
        std::atomic<quint32> nextChunk{0};
        const auto work = [&](Groups& mine) {
            Scratch run;
            for (quint32 start; !stopped(stop) && (start = nextChunk.fetch_add(kChunk)) < 65536;)
                scan(part, masks, start, start + kChunk, d, mine, run);
        };
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work, std::ref(local[t - 1]));
        work(groups);
        for (std::thread& h : helpers)
            h.join();
    }
    for (Groups& mine : local)
        for (quint32 i = 0; i < n; ++i)
            if (const quint32 root = mine.find(i); root != i)
                groups.unite(i, root);
}

} // namespace

std::vector<std::vector<qsizetype>> nearGroups(const std::vector<quint64>& hashes, int maxDistance,
                                               const std::atomic<bool>* stop)
{
    Q_ASSERT(hashes.size() < std::numeric_limits<quint32>::max());
    if (maxDistance < 0 || hashes.size() < 2)
        return {};
    const int d = std::min(maxDistance, 64);

    // Equal hashes first: each distinct hash stands for all its indexes.
    const std::vector<Entry> entries = sortedEntries(hashes);
    std::vector<quint64> distinct;
    std::vector<quint32> distinctOf(hashes.size());
    for (const Entry& e : entries) {
        if (distinct.empty() || distinct.back() != e.hash)
            distinct.push_back(e.hash);
        distinctOf[e.index] = quint32(distinct.size() - 1);
    }

    Groups groups(distinct);
    if (d == 64) {
        for (quint32 k = 1; k < distinct.size(); ++k)
            groups.unite(0, k);
    } else if (d > 0) {
        if (indexPays(quint32(distinct.size()), d))
            groupByParts(distinct, d, groups, stop);
        else
            groupAllPairs(distinct, d, groups, stop);
    }
    if (stopped(stop))
        return {};

    // Groups in the order of their first index, with their members ascending.
    std::vector<quint32> members(distinct.size(), 0);
    for (quint32 k : distinctOf)
        ++members[groups.find(k)];
    constexpr quint32 kNone = std::numeric_limits<quint32>::max();
    std::vector<quint32> slot(distinct.size(), kNone);
    std::vector<std::vector<qsizetype>> result;
    for (size_t i = 0; i < hashes.size(); ++i) {
        const quint32 root = groups.find(distinctOf[i]);
        if (members[root] < 2)
            continue;
        if (slot[root] == kNone) {
            slot[root] = quint32(result.size());
            result.emplace_back().reserve(members[root]);
        }
        result[slot[root]].push_back(qsizetype(i));
    }
    return result;
}

} // namespace viewing
