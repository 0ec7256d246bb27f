// Process-wide state of the TIFF module shared by its reader and writer. Internal to the
// library.
#pragma once

#include <cstdint>

// Sets the module's status word (img_tiff_status) to a code in status form.
void img_tiff_status_set(std::int32_t code);
