#include "ui/help/HelpCommands.h"

#include <QCoreApplication>
#include <filesystem>
#include <unistd.h>

namespace {

bool readableFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), R_OK) == 0;
}

} // namespace

HelpCommands::HelpCommands(HelpViewer& viewer, std::string startupFile, std::vector<std::string> searchDirs)
    : viewer_(viewer), helpFile_(std::move(startupFile)), searchDirs_(std::move(searchDirs)) {}

void HelpCommands::Contents1Click() {
    helpFile_ = HelpFileName;
    viewer_.showHelp(ResolvedHelpFile(), HelpPage::Contents);
}

void HelpCommands::Index1Click() {
    viewer_.showHelp(ResolvedHelpFile(), HelpPage::Index);
}

void HelpCommands::HowtoUseHelp1Click() {
    viewer_.showHelp(ResolvedHelpFile(), HelpPage::HowToUseHelp);
}

void HelpCommands::TopicClick(const std::string& topic) {
    viewer_.showHelpTopic(ResolvedHelpFile(), topic);
}

std::string HelpCommands::ResolvedHelpFile() const {
    if (readableFile(helpFile_)) return helpFile_;
    const std::string name = std::filesystem::path(helpFile_).filename().string();
    if (name.empty()) return helpFile_;
    for (const std::string& dir : searchDirs_) {
        std::string candidate = (std::filesystem::path(dir) / name).string();
        if (readableFile(candidate)) return candidate;
    }
    return helpFile_;
}

std::vector<std::string> defaultHelpSearchDirs(const std::string& startupFile) {
    std::vector<std::string> dirs;
    std::string own = std::filesystem::path(startupFile).parent_path().string();
    if (!own.empty()) dirs.push_back(own);
    if (QCoreApplication::instance()) {
        std::filesystem::path program = QCoreApplication::applicationDirPath().toStdString();
        dirs.push_back((program.parent_path() / "share" / "larkspan").string());
    }
    return dirs;
}
