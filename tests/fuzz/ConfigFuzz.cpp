// libFuzzer target: the configuration reader.
//
// Any text may be given as the configuration file. It either fails with the reader's own
// error or leaves a configuration that a run can use: every host and the proxy parse, the
// limits are positive, and the catalogue built from it has 32 entries with distinct names.

#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const IniFile ini = IniFile::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    Config config;
    std::vector<std::string> warnings;
    try {
        config.apply(ini, "fuzz.ini", warnings);
    } catch (const LarkspanError&) {
        return 0;
    }
    for (std::size_t i = 0; i < HostSlotCount; ++i)
        if (!parseHostPort(config.hosts[i])) std::abort();
    if (!config.proxy.empty() && !parseHostPort(config.proxy)) std::abort();
    if (config.maxBodySize == 0 || config.requestDeadlineSeconds <= 0) std::abort();
    if (config.makerHomePage.empty() || config.helpFile.empty()) std::abort();
    const std::vector<EngineEntry> catalog = engineCatalog(config);
    if (catalog.size() != 32) std::abort();
    for (std::size_t i = 0; i < catalog.size(); ++i)
        for (std::size_t j = i + 1; j < catalog.size(); ++j)
            if (equalsIgnoringCase(catalog[i].DisplayName, catalog[j].DisplayName)) std::abort();
    return 0;
}
