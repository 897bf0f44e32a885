#pragma once

// Groups of near pictures by their perceptual hashes (see PerceptualHash.h).

#include <QtGlobal>

#include <atomic>
#include <vector>

namespace viewing {

// Single-linkage groups of the indexes whose hashes lie within maxDistance
// bits of another member; only groups of two or more, each sorted ascending,
// groups ordered by their first index. maxDistance 0 groups equal hashes only;
// a negative one groups nothing. Large distances among many hashes take long:
// a stop flag set meanwhile ends the work soon, with no groups.
std::vector<std::vector<qsizetype>> nearGroups(const std::vector<quint64>& hashes, int maxDistance,
                                               const std::atomic<bool>* stop = nullptr);

} // namespace viewing
