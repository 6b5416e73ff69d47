#include "core/Config.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Installing and packaging take longer than a run of the program.
ProgramResult run(const QString& program, const QStringList& args,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    RunOptions options;
    options.environment = env;
    options.timeoutMs = 120000;
    return runProgram(program, args, options);
}

// The width and height of a PNG file, or (0, 0) when it is not one.
std::pair<unsigned, unsigned> pngSize(const fs::path& path) {
    std::string data = readFile(path);
    if (data.size() < 24 || data.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || data.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto be32 = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v = (v << 8) | static_cast<unsigned char>(data[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}

std::string desktopValue(const std::string& desktop, const std::string& key) {
    std::istringstream lines(desktop);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

// The options that `larkspan --help` lists.
std::set<std::string> helpOptions(const std::string& help) {
    std::set<std::string> options;
    QRegularExpression option("(?<![\\w-])--[a-z]+");
    for (const auto& m : option.globalMatch(QString::fromStdString(help)))
        options.insert(m.captured().toStdString());
    return options;
}

} // namespace

TEST(Install, PutsProgramMenuEntryIconsHelpFileAndManualPageInTheirPlaces) {
    TempDir dest;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", QString::fromStdString(dest.str()));
    ProgramResult install = run(LARKSPAN_CMAKE, {"--install", LARKSPAN_BINARY_DIR}, env);
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    const fs::path root = dest.path() / fs::path(LARKSPAN_INSTALL_PREFIX).relative_path();

    // The program, and it runs from where it was installed.
    const fs::path program = root / "bin/larkspan";
    ASSERT_TRUE(fs::is_regular_file(program));
    EXPECT_NE(fs::status(program).permissions() & fs::perms::others_exec, fs::perms::none);
    ProgramResult version = run(QString::fromStdString(program.string()), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "larkspan 2.0\n");

    // The help file lies where the program looks for it at start-up.
    const fs::path help = dest.path() / fs::path(Config::defaultHelpFile()).relative_path();
    EXPECT_EQ(help, root / "share/larkspan/Larkspan.hlp");
    EXPECT_EQ(readFile(help), readFile(LARKSPAN_SOURCE_DIR "/help/Larkspan.hlp"));

    // The menu entry is valid and names the installed program and icon.
    const fs::path desktop = root / "share/applications/larkspan.desktop";
    ASSERT_TRUE(fs::is_regular_file(desktop));
    ProgramResult validate = run("desktop-file-validate", {QString::fromStdString(desktop.string())});
    EXPECT_EQ(validate.exitCode, 0) << validate.out << validate.err;
    EXPECT_EQ(validate.out + validate.err, "");
    const std::string entry = readFile(desktop);
    EXPECT_EQ(desktopValue(entry, "Exec"), "larkspan");
    EXPECT_EQ(desktopValue(entry, "Name"), "Larkspan");
    EXPECT_EQ(desktopValue(entry, "Icon"), "larkspan");
    for (unsigned size : {48u, 64u, 128u, 256u}) {
        const std::string dir = std::to_string(size) + "x" + std::to_string(size);
        EXPECT_EQ(pngSize(root / "share/icons/hicolor" / dir / "apps/larkspan.png"),
                  std::make_pair(size, size))
            << dir;
    }

    // The systemd user units for daily runs; the service starts the installed program.
    const fs::path units = root / "lib/systemd/user";
    ASSERT_TRUE(fs::is_regular_file(units / "larkspan-submit@.timer"));
    const std::string service = readFile(units / "larkspan-submit@.service");
    EXPECT_NE(service.find("ExecStart=" + (fs::path(LARKSPAN_INSTALL_PREFIX) / "bin/larkspan").string() +
                           " submit --log "),
              std::string::npos)
        << service;

    // The manual page renders without complaint and covers the commands, options and files.
    const fs::path man = root / "share/man/man1/larkspan.1";
    ASSERT_TRUE(fs::is_regular_file(man));
    QProcessEnvironment manEnv = QProcessEnvironment::systemEnvironment();
    manEnv.insert("MANWIDTH", "200");
    manEnv.insert("LC_ALL", "C.UTF-8");
    ProgramResult page = run("man", {"--warnings", "-l", QString::fromStdString(man.string())}, manEnv);
    EXPECT_EQ(page.exitCode, 0) << page.err;
    EXPECT_EQ(page.err, "");
    // Bold and underline reach a pipe as overstrikes; take them out.
    std::string text = QString::fromStdString(page.out).remove(QRegularExpression(".\b")).toStdString();
    for (const char* wanted :
         {"NAME", "larkspan - announce web sites", "SYNOPSIS", "larkspan list [--dir DIR]",
          "larkspan requests [--dir DIR] [--config FILE] [--proxy HOST:PORT] [--cacert FILE] [--all-pages] "
          "NAME",
          "larkspan submit", "--save LIST", "LARKSPAN_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
          "~/.config/larkspan/larkspan.ini", "EXIT STATUS"})
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted;
    EXPECT_NE(text.find(Config::defaultHelpFile()), std::string::npos);
    ProgramResult usage = run(QString::fromStdString(program.string()), {"--help"});
    ASSERT_EQ(usage.exitCode, 0);
    const std::set<std::string> options = helpOptions(usage.out);
    EXPECT_GE(options.size(), 5u);
    for (const std::string& option : options)
        EXPECT_NE(text.find(option), std::string::npos) << option << " is not in the manual page";
}

TEST(Install, DebianPackageHoldsEveryFileAndDependsOnTheQtLibraries) {
    TempDir out;
    ProgramResult cpack =
        run(LARKSPAN_CPACK, {"-G", "DEB", "--config", LARKSPAN_BINARY_DIR "/CPackConfig.cmake", "-B",
                             QString::fromStdString(out.str())});
    ASSERT_EQ(cpack.exitCode, 0) << cpack.out << cpack.err;
    fs::path deb;
    for (const auto& e : fs::directory_iterator(out.path()))
        if (e.path().extension() == ".deb") deb = e.path();
    ASSERT_FALSE(deb.empty()) << cpack.out;
    EXPECT_EQ(deb.filename().string().rfind("larkspan_2.0.0_", 0), 0u) << deb;

    ProgramResult fields = run("dpkg-deb", {"-f", QString::fromStdString(deb.string()), "Package", "Version",
                                            "Maintainer", "Depends", "Description"});
    ASSERT_EQ(fields.exitCode, 0) << fields.err;
    EXPECT_NE(fields.out.find("Package: larkspan\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Version: 2.0.0\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Maintainer: Tessaly"), std::string::npos) << fields.out;
    // The dependencies come from the program's shared libraries.
    for (const char* library : {"libqt6widgets6", "libqt6gui6", "libqt6core6", "libc6"})
        EXPECT_NE(fields.out.find(library), std::string::npos) << fields.out;

    ProgramResult contents = run("dpkg-deb", {"-c", QString::fromStdString(deb.string())});
    ASSERT_EQ(contents.exitCode, 0);
    const std::string prefix = "." + std::string(LARKSPAN_INSTALL_PREFIX);
    for (const std::string file :
         {"/bin/larkspan", "/share/applications/larkspan.desktop", "/share/larkspan/Larkspan.hlp",
          "/share/man/man1/larkspan.1", "/share/icons/hicolor/256x256/apps/larkspan.png"})
        EXPECT_NE(contents.out.find(prefix + file + "\n"), std::string::npos) << file << "\n" << contents.out;
}
