// The inner work of motion detection: one pixel row of a band of sampled cells, picture against
// the reference.
//
// A band is a row of cells of `cell` x `cell` pixels (2, 4 or 8) of 3 bytes each, the first at
// pixel `firstX` of the picture row, the next ones `step` pixels apart. The reference keeps only
// the sampled cells, packed: for this pixel row of the band, cell i's segment lies at
// reference + i * cell * 3. For the cells whose compare[i] is set the kernel adds to counts[i]
// the pixels of the segment that differ from the reference (a pixel differs when any of its bytes
// differs by more than `threshold`, -1 to 255; -1 makes every pixel differ, 255 none); then it
// copies every segment of the picture row into the reference. It returns the reference position
// of the next band row.
//
// Why packed: the detector looks at a quarter (whole-picture mode) or half (small pictures) of
// the pixels, and a full-size reference would cost reading and writing a whole picture more per
// frame, which is more than the comparison itself.
//
// The vector paths (SSE2, and AVX2 for 8-pixel cells where the machine has it) give the plain
// path's results exactly; the path is chosen here, in one place, and can be capped so that tests
// compare them.
#pragma once

#include <cstdint>

namespace tessivor {

std::uint8_t* motionBandRow(const std::uint8_t* pictureRow, std::uint8_t* reference, int firstX, int step,
                            int cells, int cell, int threshold, const std::uint8_t* compare, int* counts);

enum class MotionVectors
{
    Plain = 0,
    Sse2 = 1,
    Avx2 = 2,
    Best = Avx2,
};
// The highest path to use (capped by the machine); Best by default.
void motionUseVectors(MotionVectors level);
// The highest path this machine has.
MotionVectors motionMachineVectors();

} // namespace tessivor
