#pragma once

#include <cstdint>
#include <string>

// Memory and temporary files, as the receive buffer needs them.

// The memory the system can give without swapping (MemAvailable), or its free memory where
// that is not reported; 0 when neither is known.
std::uint64_t availableMemory();

// A new, empty file in $TMPDIR (default /tmp), named by the prefix and six random characters,
// open for reading and writing and closed on exec. Throws LarkspanError
// "Can't create a temporary file" when none can be made.
struct TemporaryFile {
    int fd = -1;
    std::string name;
};
TemporaryFile createTemporaryFile(const std::string& prefix);
