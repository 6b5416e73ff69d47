#pragma once

#include "core/profiles/SiteProfile.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

class TReportGrid;

// What the profile commands need from the editor page: the sixteen fields, the Sitemap line and
// the live channels' settings. The window's editor page implements it; tests use a plain fake.
class ProfileEditor {
public:
    virtual ~ProfileEditor() = default;

    virtual std::string fieldText(std::size_t field) const = 0;
    virtual void setFieldText(std::size_t field, const std::string& text) = 0;
    // The Sitemap line as it is to be saved (without surrounding blanks).
    virtual std::string sitemap() const = 0;
    virtual void setSitemap(const std::string& text) = 0;
    // Shows the live channels' values of the named profile; an empty name shows empty values.
    virtual void loadLiveChannels(const ProfileFiles& store, const std::string& name) = 0;
    // The live channels' keys and values to save with the profile.
    virtual ProfileExtras liveChannelValues() const = 0;
    // Why the live channels' values cannot be saved, or nothing.
    virtual std::optional<std::string> liveChannelProblem() const = 0;
};

// The commands of the two profile pages: list the profiles into the profile list and the
// submission list, load the one chosen into the editor, save the editor's profile and delete
// the current one. They keep the current selection, which the run moves as it goes.
class ProfileCommands {
public:
    using StatusLine = std::function<void(const std::string& text)>;

    ProfileCommands(std::string directory, TReportGrid& profileList, TReportGrid& submissionList,
                    ProfileEditor& editor, StatusLine status);

    // Lists the profiles again and loads the first into the editor. A directory that cannot be
    // listed leaves both lists empty, says why on the status line and throws.
    void listProfiles();
    // The profile list's row was chosen: it becomes the current selection.
    void selectRow(int row);
    void loadIntoEditor(const std::string& name);
    // Saves the editor's profile under its title; the live channels' values are checked first,
    // and a value that breaks its rule keeps the whole profile from being saved. Both lists
    // then show the profile (a new title included), the editor and the highlighted rows stay
    // as they are, and the status line says where the profile went.
    void save();
    // The user changed the site title in the editor. The Sitemap line and the live channels'
    // values belong to one profile: when the title comes to name another profile (or none),
    // they become that profile's (or empty), so a new site never inherits another site's key.
    void titleEdited(const std::string& title);
    // The question to ask before deleteCurrent.
    std::string deleteQuestion() const;
    // Deletes the current selection's file and lists the profiles again.
    void deleteCurrent();

    SiteProfile editorProfile() const;
    const std::string& currentSelection() const { return current_; }
    void setCurrentSelection(const std::string& name) { current_ = name; }
    const ProfileFiles& store() const { return store_; }

private:
    // Lists the profiles into both lists again without touching the editor or the highlight.
    void refreshLists();

    ProfileFiles store_;
    TReportGrid& profileList_;
    TReportGrid& submissionList_;
    ProfileEditor& editor_;
    StatusLine status_;
    std::string current_;
    // The profile whose Sitemap line and live channels' values the editor shows; empty for
    // a title that names no saved profile.
    std::string extrasOwner_;
};
