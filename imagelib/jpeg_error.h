// Internal failure codes of the JPEG coder. A routine deep inside the coder that meets a fatal
// condition raises one of them with img_raise; the entry point that runs the coder catches it
// (img_guard), keeps the code in the module's status word and returns its own result code.
#pragma once

#include "imagelib/img_frame.h"

#include <cstdint>

namespace tessivor::jpeg {

inline constexpr std::int32_t kStatusBadPrecision = -100;      // sample precision other than 8
inline constexpr std::int32_t kStatusEndOfData = -101;         // the input ended
inline constexpr std::int32_t kStatusReadFailed = -104;        // a read of the input failed
inline constexpr std::int32_t kStatusBadHuffmanCode = -105;    // no code of 16 bits or fewer matched
inline constexpr std::int32_t kStatusBadTable = -106;          // a bad or missing table, or a bad frame
inline constexpr std::int32_t kStatusMcuTooLarge = -107;       // more than 10 blocks in one MCU
inline constexpr std::int32_t kStatusBadComponents = -109;     // component count other than 1, 3, 4
inline constexpr std::int32_t kStatusBadFrameType = -110;      // not baseline, extended or progressive
inline constexpr std::int32_t kStatusBadScan = -113;           // a scan header outside the rules
inline constexpr std::int32_t kStatusMemoryWriteFailed = -114; // -115 as seen for memory output
inline constexpr std::int32_t kStatusWriteFailed = -115;       // the output took fewer bytes than given

} // namespace tessivor::jpeg
