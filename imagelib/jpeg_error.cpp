#include "imagelib/jpeg_error.h"

namespace tessivor::jpeg {

void raise(std::int32_t code)
{
    throw CoderFailure{code};
}

} // namespace tessivor::jpeg
