#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Applied {
    Config config;
    std::vector<std::string> warnings;
};

Applied apply(std::string_view text) {
    Applied a;
    a.config.apply(IniFile::parse(text), "test.ini", a.warnings);
    return a;
}

std::string errorOf(std::string_view text) {
    try {
        apply(text);
    } catch (const LarkspanError& e) {
        return e.what();
    }
    return "no error";
}

// Sets an environment variable for the life of the object and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(Config, DefaultsNameEveryHostAndTheHomePages) {
    Config c;
    for (std::size_t i = 0; i < HostSlotCount; ++i)
        EXPECT_TRUE(parseHostPort(c.hosts[i])) << c.hostKey(static_cast<HostSlot>(i));
    EXPECT_EQ(c.productHomePage(), c.makerHomePage + "/Larkspan/");
    EXPECT_EQ(c.footerAddress(), c.makerHomePage + "/Larkspan/Default.htm");
    EXPECT_NE(c.makerHomePage.back(), '/');
    EXPECT_EQ(c.maxBodySize, 8u * 1024 * 1024);
    EXPECT_EQ(c.requestDeadlineSeconds, 60);
    EXPECT_EQ(c.proxy, "");
    EXPECT_EQ(c.hostKey(HostSlot::Shared), "Shared");
    EXPECT_EQ(c.hostKey(HostSlot::Entry16), c.entry16Name);
    // An empty file changes nothing and warns about nothing.
    Applied a = apply("");
    EXPECT_EQ(a.config.hosts, c.hosts);
    EXPECT_TRUE(a.warnings.empty());
}

TEST(Config, FileValuesOverrideTheBuiltInOnes) {
    Applied a = apply("; local engines\n"
                      "[hosts]\n"
                      "alexa = 127.0.0.1:8080\n"
                      "Scrub The Web=localhost\n"
                      "Shared=127.0.0.1:9\n"
                      "Go.test=127.0.0.2:81\n"
                      "[Names]\n"
                      "Entry16=Go.test\n"
                      "Entry23=MSN.test\n"
                      "[Home]\n"
                      "Maker=http://maker.test/\n"
                      "HelpFile=/opt/help/Larkspan.hlp\n"
                      "[Run]\n"
                      "MaxBodySize=1024\n"
                      "Deadline=5\n"
                      "Proxy=127.0.0.1:3128\n");
    const Config& c = a.config;
    EXPECT_TRUE(a.warnings.empty()) << a.warnings.front();
    EXPECT_EQ(c.host(HostSlot::Alexa), "127.0.0.1:8080");
    EXPECT_EQ(c.host(HostSlot::ScrubTheWeb), "localhost");
    EXPECT_EQ(c.host(HostSlot::Shared), "127.0.0.1:9");
    // The sixteenth entry's host is keyed by its configured name.
    EXPECT_EQ(c.host(HostSlot::Entry16), "127.0.0.2:81");
    EXPECT_EQ(c.host(HostSlot::Lycos), Config{}.host(HostSlot::Lycos));
    EXPECT_EQ(c.entry23Name, "MSN.test");
    EXPECT_EQ(c.productHomePage(), "http://maker.test/Larkspan/");
    EXPECT_EQ(c.footerAddress(), "http://maker.test/Larkspan/Default.htm");
    EXPECT_EQ(c.helpFile, "/opt/help/Larkspan.hlp");
    EXPECT_EQ(c.maxBodySize, 1024u);
    EXPECT_EQ(c.requestDeadlineSeconds, 5);
    EXPECT_EQ(c.proxy, "127.0.0.1:3128");

    auto catalog = engineCatalog(c);
    EXPECT_EQ(catalog[15].DisplayName, "Go.test");
    EXPECT_EQ(catalog[15].SubmitHost, "127.0.0.2:81");
    EXPECT_EQ(catalog[22].DisplayName, "MSN.test");
    EXPECT_EQ(catalog[22].SubmitHost, "127.0.0.1:9");
    EXPECT_EQ(catalog[0].SubmitHost, "127.0.0.1:8080");
}

TEST(Config, WhatTheFileHoldsBeyondTheKnownValuesIsReported) {
    Applied a = apply("stray=1\n"
                      "[Hosts]\n"
                      "Alexa=127.0.0.1\n"
                      "Altavista=127.0.0.1\n"
                      "ALEXA=127.0.0.2\n"
                      "Go2Net=127.0.0.1\n"
                      "# Lycos=127.0.0.1\n"
                      "not a key line\n"
                      "[Hostz]\n"
                      "Alexa=127.0.0.3\n"
                      "[hosts]\n"
                      "Lycos=127.0.0.4\n"
                      "[Run]\n"
                      "Timeout=3\n");
    EXPECT_EQ(a.config.host(HostSlot::Alexa), "127.0.0.1");
    // Reads see only the first [Hosts] section.
    EXPECT_EQ(a.config.host(HostSlot::Lycos), Config{}.host(HostSlot::Lycos));
    std::vector<std::string> expected = {
        "test.ini: unknown section [Hostz] is ignored",
        "test.ini: section [hosts] appears again; only its first appearance counts",
        "test.ini: key stray outside any section is ignored",
        "test.ini: key ALEXA appears again in section [Hosts]; only the first counts",
        "test.ini: unknown key Go2Net in section [Hosts] is ignored",
        "test.ini: unknown key Timeout in section [Run] is ignored",
        "test.ini: line \"not a key line\" is neither a section, a key nor a comment; ignored",
    };
    EXPECT_EQ(a.warnings, expected);
    // Renaming the sixteenth entry retires its old key.
    Applied renamed = apply("[Names]\nEntry16=Go.test\n[Hosts]\nGo2Net.com=127.0.0.1\n");
    ASSERT_EQ(renamed.warnings.size(), 1u);
    EXPECT_EQ(renamed.warnings[0], "test.ini: unknown key Go2Net.com in section [Hosts] is ignored");
}

TEST(Config, ValuesThatCannotBeUsedAreErrors) {
    EXPECT_EQ(errorOf("[Hosts]\nAlexa=www.x.org/path\n"),
              "test.ini: [Hosts] Alexa=www.x.org/path: not a host or host:port");
    for (const char* bad : {"", "a b", "h:", ":80", "h:0", "h:65536", "h:8x", "h:+80", "h:-1", "-h", "h:80:1",
                            "http://h", "https://", "https://h:0", "https://h/"})
        EXPECT_NE(errorOf(std::string("[Hosts]\nShared=") + bad + "\n"), "no error") << bad;
    EXPECT_NE(errorOf("[Run]\nMaxBodySize=0\n"), "no error");
    EXPECT_NE(errorOf("[Run]\nMaxBodySize=-1\n"), "no error");
    EXPECT_NE(errorOf("[Run]\nMaxBodySize=8M\n"), "no error");
    EXPECT_NE(errorOf("[Run]\nDeadline=0\n"), "no error");
    EXPECT_NE(errorOf("[Run]\nDeadline=99999999999\n"), "no error");
    EXPECT_NE(errorOf("[Run]\nProxy=proxy:abc\n"), "no error");
    EXPECT_EQ(errorOf("[Run]\nProxy=\n"), "no error");
    EXPECT_EQ(errorOf("[Run]\nCatalogue=yes\n"),
              "test.ini: [Run] Catalogue=yes: 1 (send to the catalogue) or 0 is expected");
    EXPECT_FALSE(apply("[Run]\nCatalogue=0\n").config.catalogue);
    EXPECT_EQ(apply("[Run]\nStoreWait=0\n").config.storeWaitSeconds, 0);
    EXPECT_EQ(errorOf("[Run]\nStoreWait=-5\n"),
              "test.ini: [Run] StoreWait=-5: a number of seconds from 0 to 86400 is expected");
    EXPECT_NE(errorOf("[Run]\nStoreWait=86401\n"), "no error");
    EXPECT_EQ(errorOf("[Hosts]\nShared=HTTPS://h:8443\n[Run]\nCAFile=/dev/null/ca.pem\n"),
              "test.ini: [Run] CAFile=/dev/null/ca.pem: not a readable file");
    EXPECT_NE(errorOf("[Home]\nMaker=\n"), "no error");
    for (const char* bad : {"Pages=yes", "Pages=", "PerHost=0", "PerHost=65", "PerHost=4x", "MaxPages=0",
                            "MaxPages=-5", "MaxPages=100000001"})
        EXPECT_NE(errorOf(std::string("[Checks]\n") + bad + "\n"), "no error") << bad;
    EXPECT_EQ(errorOf("[Checks]\nPerHost=0\n"),
              "test.ini: [Checks] PerHost=0: a number of checks from 1 to 64 is expected");
    const Config checks = apply("[Checks]\nPages=0\nPerHost=8\nMaxPages=100\n").config;
    EXPECT_FALSE(checks.checkPages);
    EXPECT_EQ(checks.checkPerHost, 8);
    EXPECT_EQ(checks.checkMaxPages, 100u);
    EXPECT_TRUE(Config{}.checkPages);
    EXPECT_EQ(Config{}.checkPerHost, 4);
    EXPECT_EQ(Config{}.checkMaxPages, 50'000u);
    EXPECT_NE(errorOf("[Names]\nEntry23=\n"), "no error");
    // Display names stay unique, whatever their case.
    EXPECT_EQ(errorOf("[Names]\nEntry16=lycos\n"),
              "test.ini: [Names] Entry16=lycos: another entry already has this name");
    EXPECT_NE(errorOf("[Names]\nEntry16=Same\nEntry23=Same\n"), "no error");
    EXPECT_NE(errorOf("[Names]\nEntry16=Shared\n"), "no error");
}

TEST(Config, HostsAndPortsAreParsed) {
    auto hp = parseHostPort("127.0.0.1:8080");
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "127.0.0.1");
    EXPECT_EQ(hp->port, 8080);
    hp = parseHostPort("www.example.com");
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->port, 80);
    EXPECT_TRUE(parseHostPort("h:65535"));
    EXPECT_FALSE(parseHostPort("h:65536"));
}

TEST(Config, LoadsTheNamedFileOrTheDefaultOne) {
    TempDir dir;
    std::vector<std::string> warnings;
    // A file asked for by name must exist.
    std::string missing = (dir.path() / "missing.ini").string();
    try {
        Config::load(missing, warnings);
        ADD_FAILURE() << "a missing --config file was accepted";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The configuration file " + missing + " cannot be read: No such file or directory");
    }
    EXPECT_THROW(Config::load(dir.path().string(), warnings), LarkspanError);

    dir.write("named.ini", "[Hosts]\nLycos=127.0.0.1:1\n[Extra]\n");
    Config named = Config::load((dir.path() / "named.ini").string(), warnings);
    EXPECT_EQ(named.host(HostSlot::Lycos), "127.0.0.1:1");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], (dir.path() / "named.ini").string() + ": unknown section [Extra] is ignored");

    // Without --config the default file is optional.
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", (dir.path() / "xdg").string());
        warnings.clear();
        EXPECT_EQ(Config::defaultPath(), (dir.path() / "xdg/larkspan/larkspan.ini").string());
        EXPECT_EQ(Config::load(std::nullopt, warnings).hosts, Config{}.hosts);
        dir.write("xdg/larkspan/larkspan.ini", "[Hosts]\nGoogle=127.0.0.1:2\n");
        EXPECT_EQ(Config::load(std::nullopt, warnings).host(HostSlot::Google), "127.0.0.1:2");
        EXPECT_TRUE(warnings.empty());
        // The named file replaces the default one rather than adding to it.
        EXPECT_EQ(Config::load((dir.path() / "named.ini").string(), warnings).host(HostSlot::Google),
                  Config{}.host(HostSlot::Google));
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::string("relative/dir"));
        ScopedEnv home("HOME", dir.path().string());
        EXPECT_EQ(Config::defaultPath(), (dir.path() / ".config/larkspan/larkspan.ini").string());
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
        ScopedEnv home("HOME", std::nullopt);
        EXPECT_EQ(Config::defaultPath(), "");
        EXPECT_EQ(Config::load(std::nullopt, warnings).hosts, Config{}.hosts);
    }
}
