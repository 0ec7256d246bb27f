// The cell kernel of motion detection: every vector path against the plain one.
#include "media/motion_cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using namespace tessivor;

namespace {

// The vector path of the cell test gives the plain path's counts and packed reference, for every
// cell size, cells compared or only copied, and thresholds around the edges.
TEST(MotionCells, VectorPathEqualsPlainPath)
{
    std::mt19937 random(11);
    for (int cell : {2, 4, 8}) {
        for (int threshold : {-1, 0, 1, 2, 68, 69, 70, 127, 128, 200, 254, 255}) {
            for (int round = 0; round < 20; ++round) {
                const int step = cell * 2;
                const int cells = 1 + round % 7;
                const int firstX = round % 2 ? cell : 0;
                // The row ends with the last cell, so that a path that reads past it is caught
                // (sanitizer build).
                const std::size_t rowBytes = static_cast<std::size_t>(firstX + (cells - 1) * step + cell) * 3;
                const std::size_t packedBytes = static_cast<std::size_t>(cells * cell * 3);
                std::vector<std::uint8_t> picture(rowBytes), referenceA(packedBytes), referenceB;
                for (auto& b : picture)
                    b = static_cast<std::uint8_t>(random());
                // References near the picture's cells, so that differences straddle the threshold.
                for (std::size_t i = 0; i < packedBytes; ++i) {
                    const std::size_t cellIndex = i / (cell * 3);
                    const std::size_t at = (firstX + cellIndex * step) * 3 + i % (cell * 3);
                    referenceA[i] = static_cast<std::uint8_t>(
                        std::clamp<int>(picture[at] + static_cast<int>(random() % 7) - 3 +
                                            (round % 3 == 0 ? threshold : -threshold),
                                        0, 255));
                }
                referenceB = referenceA;
                std::vector<std::uint8_t> compare(cells);
                for (auto& c : compare)
                    c = random() % 4 != 0;
                // The plain path first, then every vector path the machine has, each from the same
                // reference.
                std::vector<int> countsA(cells, 1);
                motionUseVectors(MotionVectors::Plain);
                const auto* endA = motionBandRow(picture.data(), referenceA.data(), firstX, step, cells, cell,
                                                 threshold, compare.data(), countsA.data());
                ASSERT_EQ(endA - referenceA.data(), static_cast<std::ptrdiff_t>(packedBytes));
                for (int i = 0; i < cells; ++i) {
                    const std::size_t at = static_cast<std::size_t>(firstX + i * step) * 3;
                    ASSERT_EQ(std::memcmp(referenceA.data() + i * cell * 3, picture.data() + at, cell * 3),
                              0);
                    if (!compare[static_cast<std::size_t>(i)]) {
                        ASSERT_EQ(countsA[static_cast<std::size_t>(i)], 1);
                    }
                }
                for (int level = 1; level <= static_cast<int>(motionMachineVectors()); ++level) {
                    SCOPED_TRACE(::testing::Message() << "vector level " << level << " cell " << cell
                                                      << " threshold " << threshold << " round " << round);
                    auto reference = referenceB;
                    std::vector<int> counts(cells, 1);
                    motionUseVectors(static_cast<MotionVectors>(level));
                    const auto* end = motionBandRow(picture.data(), reference.data(), firstX, step, cells,
                                                    cell, threshold, compare.data(), counts.data());
                    ASSERT_EQ(counts, countsA);
                    ASSERT_EQ(end - reference.data(), static_cast<std::ptrdiff_t>(packedBytes));
                    ASSERT_EQ(reference, referenceA);
                }
                motionUseVectors(MotionVectors::Best);
            }
        }
    }
}

} // namespace
