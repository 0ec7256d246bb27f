// Windows bitmap files: a 14-byte file header, the 40-byte DIB header, the colour table (for 1,
// 4 and 8 bits per pixel) and the rows as the DIB keeps them, each padded to whole 32-bit words.
// Bottom-up pictures get a positive height, top-down ones a negative one, so that every reader
// shows the picture the right way up.
#pragma once

#include "platform/file_replace.h"
#include "platform/frame_target.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tessivor {

// The whole file for `picture`; empty when the view is not usable (DibView::usable) or has 1, 4
// or 8 bits per pixel without a colour table.
std::vector<std::uint8_t> bmpFileBytes(const DibView& picture);

// Writes the file through replaceFileContents: a reader sees the old file or the whole new one.
// CannotCreate as well when the view is not usable or an indexed view has no colour table.
ReplaceResult writeBmpFile(const std::filesystem::path& file, const DibView& picture);

} // namespace tessivor
