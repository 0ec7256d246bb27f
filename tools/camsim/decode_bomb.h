// A hostile picture: a valid progressive JPEG that is small on the wire and very slow to decode.
//
// The picture is one grey component; one DC scan gives every block its (zero) DC value, then
// `acScans` scans over coefficients 1 to 63 follow, first scans (Ah 0, Al 1) and refinement
// scans (Ah 1, Al 0) in turn, every block an end-of-band run. The progression is legal at every
// step (a first scan may follow a band that a refinement completed), so libjpeg decodes it
// without a warning; each scan costs a few dozen bytes, and each refinement makes the decoder
// visit every coefficient of the picture. 5760 x 5760 with 500 scans is under 100 KB and keeps
// an unguarded decoder busy for many seconds; the decoded picture is plain mid-grey.
#pragma once

#include <cstdint>
#include <vector>

namespace camsim {

// Width and height must be multiples of 8 from 8 to 65528; empty otherwise.
std::vector<std::uint8_t> decodeBombJpeg(int width, int height, int acScans);

// The picture of camsim's "bomb" breakage: 5760 x 5760 with 500 scans (98 KB, within every
// frame size limit), made once.
const std::vector<std::uint8_t>& servedDecodeBomb();

} // namespace camsim
