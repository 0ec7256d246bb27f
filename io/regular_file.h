// Reading a small file that a setting names, without trusting what the name points at.
//
// A path may name a FIFO (opening it for reading waits for a writer that may never come), a
// device (/dev/zero never ends) or a file far larger than the caller expects. readRegularFile
// opens without blocking, accepts only a regular file of at most `maxBytes` bytes (a file that
// grows past that while it is read is refused as well) and asks `aborted` before every block,
// so that its caller's stop request ends the read. Any thread; nothing is kept between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessivor {

enum class FileReadResult
{
    Read,       // the whole file is in `out`
    CannotOpen, // missing, unreadable
    NotRegular, // a FIFO, a device, a folder, a socket
    TooLarge,   // more than maxBytes bytes
    ReadFailed,
    Aborted, // `aborted` answered true
};

// Reads the file at `path` into `out` (replaced; left empty on any failure). `aborted` may be
// empty.
FileReadResult readRegularFile(const std::string& path, std::size_t maxBytes,
                               const std::function<bool()>& aborted, std::vector<std::uint8_t>* out);

} // namespace tessivor
