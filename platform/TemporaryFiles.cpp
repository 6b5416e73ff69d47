#include "platform/TemporaryFiles.h"

#include "platform/Error.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <stdlib.h>
#include <sys/sysinfo.h>

std::uint64_t availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit) {
        if (key == "MemAvailable:") return kib * 1024;
    }
    struct sysinfo info {};
    if (::sysinfo(&info) == 0) return static_cast<std::uint64_t>(info.freeram) * info.mem_unit;
    return 0;
}

TemporaryFile createTemporaryFile(const std::string& prefix) {
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/" + prefix + "XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw LarkspanError("Can't create a temporary file");
    return {fd, std::move(name)};
}
