#pragma once

#include <string>
#include <vector>

// The name under which the Help menu's "Contents" looks for the help file: without a
// directory, so that it is found through the working directory.
inline constexpr const char* HelpFileName = "Larkspan.hlp";

enum class HelpPage { Contents, Index, HowToUseHelp };

// What shows a help file: the help window, or a fake in tests.
class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    // Opens the viewer on a page of the help file at path. A file that cannot be read is the
    // viewer's to deal with: the commands report nothing.
    virtual void showHelp(const std::string& path, HelpPage page) = 0;
    // Opens the viewer on one topic of the help file; a viewer without topics shows the
    // contents.
    virtual void showHelpTopic(const std::string& path, const std::string& topic) {
        (void)topic;
        showHelp(path, HelpPage::Contents);
    }
};

// The application's help file and the Help menu's three commands on it. It starts as the
// configured start-up path; "Contents" sets it to HelpFileName.
class HelpCommands {
public:
    HelpCommands(HelpViewer& viewer, std::string startupFile, std::vector<std::string> searchDirs);

    // "&Contents": the help file becomes "Larkspan.hlp"; the viewer opens on its contents.
    void Contents1Click();
    // "&Index": the viewer opens on the current help file's keyword index.
    void Index1Click();
    // "&How to Use Help": the viewer's own instructions, beside the current help file.
    void HowtoUseHelp1Click();
    // F1: the viewer opens on the topic about what the user is looking at.
    void TopicClick(const std::string& topic);

    const std::string& HelpFile() const { return helpFile_; }
    void SetHelpFile(std::string file) { helpFile_ = std::move(file); }

    // Where the viewer reads the current help file: the file as named when it can be read (a
    // relative name through the working directory); otherwise the first search directory
    // that holds a readable file of its name, the way a help viewer searches its path; as
    // named when none does.
    std::string ResolvedHelpFile() const;

private:
    HelpViewer& viewer_;
    std::string helpFile_;
    std::vector<std::string> searchDirs_;
};

// The directories to search: the start-up file's own directory, then the data directory
// beside the program (../share/larkspan from the executable), which is where an installation
// moved to another prefix, or the build tree, keeps its help file.
std::vector<std::string> defaultHelpSearchDirs(const std::string& startupFile);
