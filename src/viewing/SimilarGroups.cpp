#include "viewing/SimilarGroups.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <limits>
#include <numeric>
#include <thread>

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

    quint32 size() const { return quint32(m_parent.size()); }

private:
    std::vector<quint32> m_parent;
};

// A run of hashes with their ids (indexes into the distinct hashes).
struct Block
{
    const quint64* hash;
    const quint32* id;
    quint32 size;
};

// Every pair of a's hashes with b's within d bits joins a group; with
// `within`, a and b are one block and each pair is taken once.
__attribute__((target_clones("popcnt", "default")))
void compareScalar(Block a, Block b, bool within, int d, UnionFind& groups)
{
    for (quint32 i = 0; i < a.size; ++i) {
        const quint64 x = a.hash[i];
        for (quint32 j = within ? i + 1 : 0; j < b.size; ++j)
            if (__builtin_popcountll(x ^ b.hash[j]) <= d)
                groups.unite(a.id[i], b.id[j]);
    }
}

#ifdef QUILLON_AVX512_POPCOUNT
// The same, eight hashes of b at a time.
__attribute__((target("avx512f,avx512vpopcntdq")))
void compareAvx512(Block a, Block b, bool within, int d, UnionFind& groups)
{
    const __m512i limit = _mm512_set1_epi64(d);
    for (quint32 i = 0; i < a.size; ++i) {
        const __m512i x = _mm512_set1_epi64(qint64(a.hash[i]));
        for (quint32 j = within ? i + 1 : 0; j < b.size; j += 8) {
            const __mmask8 live = b.size - j >= 8 ? __mmask8(0xFF) : __mmask8((1u << (b.size - j)) - 1);
            const __m512i y = _mm512_maskz_loadu_epi64(live, b.hash + j);
            unsigned near = _mm512_mask_cmple_epu64_mask(live, _mm512_popcnt_epi64(_mm512_xor_si512(x, y)), limit);
            for (; near; near &= near - 1)
                groups.unite(a.id[i], b.id[j + unsigned(std::countr_zero(near))]);
        }
    }
}
#endif

using Compare = void (*)(Block, Block, bool, int, UnionFind&);

Compare pickCompare()
{
#ifdef QUILLON_AVX512_POPCOUNT
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vpopcntdq"))
        return compareAvx512;
#endif
    return compareScalar;
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

void groupAllPairs(const std::vector<quint64>& distinct, int d, UnionFind& groups)
{
    std::vector<quint32> ids(distinct.size());
    std::iota(ids.begin(), ids.end(), quint32(0));
    const Block all{distinct.data(), ids.data(), quint32(distinct.size())};
    pickCompare()(all, all, true, d, groups);
}

void groupByParts(const std::vector<quint64>& distinct, int d, UnionFind& groups)
{
    const quint32 n = quint32(distinct.size());
    const Compare compare = pickCompare();
    const unsigned threads = n < 65536 ? 1u : std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<UnionFind> local;
    for (unsigned t = 1; t < threads; ++t)
        local.emplace_back(n);

    std::vector<quint32> offsets(65537);
    std::vector<quint64> hash(n);
    std::vector<quint32> id(n);
    const std::array<int, 4> radii = partRadii(d);
    for (int p = 0; p < 4; ++p) {
        if (radii[p] < 0)
            continue;
        // The distinct hashes by the value of part p.
        const int shift = 16 * p;
        std::fill(offsets.begin(), offsets.end(), 0);
        for (quint64 h : distinct)
            ++offsets[((h >> shift) & 0xFFFF) + 1];
        std::partial_sum(offsets.begin(), offsets.end(), offsets.begin());
        {
            std::vector<quint32> next(offsets.begin(), offsets.end() - 1);
            for (quint32 i = 0; i < n; ++i) {
                const quint32 at = next[(distinct[i] >> shift) & 0xFFFF]++;
                hash[at] = distinct[i];
                id[at] = i;
            }
        }
        const std::vector<quint16> masks = masksUpTo(radii[p]);
        const auto bucket = [&](quint32 v) {
            return Block{hash.data() + offsets[v], id.data() + offsets[v], offsets[v + 1] - offsets[v]};
        };

        // Each pair of buckets once, from the lower value; chunks of values
        // taken in turn keep the threads busy when the buckets are uneven.
        constexpr quint32 kChunk = 256;
        std::atomic<quint32> nextChunk{0};
        const auto work = [&](UnionFind& mine) {
            for (quint32 start; (start = nextChunk.fetch_add(kChunk)) < 65536;) {
                for (quint32 v = start; v < start + kChunk; ++v) {
                    const Block a = bucket(v);
                    if (a.size == 0)
                        continue;
                    compare(a, a, true, d, mine);
                    for (quint16 m : masks) {
                        const quint32 w = v ^ m;
                        if (w > v && offsets[w + 1] != offsets[w])
                            compare(a, bucket(w), false, d, mine);
                    }
                }
            }
        };
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work, std::ref(local[t - 1]));
        work(groups);
        for (std::thread& h : helpers)
            h.join();
    }
    for (UnionFind& mine : local)
        for (quint32 i = 0; i < n; ++i)
            if (const quint32 root = mine.find(i); root != i)
                groups.unite(i, root);
}

} // namespace

std::vector<std::vector<qsizetype>> nearGroups(const std::vector<quint64>& hashes, int maxDistance)
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

    UnionFind groups(quint32(distinct.size()));
    if (d > 0) {
        if (indexPays(quint32(distinct.size()), d))
            groupByParts(distinct, d, groups);
        else
            groupAllPairs(distinct, d, groups);
    }

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
