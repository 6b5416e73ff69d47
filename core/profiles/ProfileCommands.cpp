#include "core/profiles/ProfileCommands.h"

#include "core/sitemaps/Sitemaps.h"
#include "core/profiles/SubmissionList.h"

#include "grid/ReportGrid.h"
#include "platform/Error.h"

#include <algorithm>
#include <utility>

ProfileCommands::ProfileCommands(std::string directory, TReportGrid& profileList, TReportGrid& submissionList,
                                 ProfileEditor& editor, StatusLine status)
    : store_(std::move(directory)), profileList_(profileList), submissionList_(submissionList),
      editor_(editor), status_(std::move(status)) {}

void ProfileCommands::listProfiles() {
    profileList_.SetRowCount(0);
    std::vector<std::string> names;
    std::string failure;
    try {
        names = store_.list();
    } catch (const LarkspanError& e) {
        failure = e.what();
    }
    profileList_.SetRowCount(static_cast<int>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i)
        profileList_.SetCellText(0, static_cast<int>(i), names[i]);
    profileList_.SetSelection({0, 0, 0, 0});
    profileList_.SetCurrent(0, 0);
    fillSubmissionList(submissionList_, names);
    if (!names.empty()) {
        current_ = names.front();
        status_("Current Selection: " + current_);
    }
    loadIntoEditor(names.empty() ? std::string() : names.front());
    if (!failure.empty()) {
        status_(failure);
        throw LarkspanError(failure);
    }
}

void ProfileCommands::selectRow(int row) {
    current_ = profileList_.CellText(0, row);
    status_("Current Selection: " + current_);
    loadIntoEditor(current_);
}

void ProfileCommands::loadIntoEditor(const std::string& name) {
    SiteProfile profile = store_.load(name);
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        editor_.setFieldText(i, profile[i]);
    editor_.setSitemap(store_.loadExtra(name, SitemapKey));
    editor_.loadLiveChannels(store_, name);
    extrasOwner_ = name;
}

void ProfileCommands::titleEdited(const std::string& title) {
    std::vector<std::string> names;
    try {
        names = store_.list();
    } catch (const LarkspanError&) {
        // An unreadable directory holds no profile whose values could be meant.
    }
    const bool saved = std::find(names.begin(), names.end(), title) != names.end();
    const std::string owner = saved ? title : std::string();
    // Typing on within a new title keeps what was entered for it so far.
    if (owner == extrasOwner_) return;
    editor_.setSitemap(saved ? store_.loadExtra(owner, SitemapKey) : std::string());
    editor_.loadLiveChannels(store_, owner);
    extrasOwner_ = owner;
}

void ProfileCommands::save() {
    if (auto problem = editor_.liveChannelProblem()) throw LarkspanError(*problem);
    if (auto problem = sitemapKeyProblem(editor_.sitemap())) throw LarkspanError(*problem);
    ProfileExtras extras{{SitemapKey, editor_.sitemap()}};
    ProfileExtras live = editor_.liveChannelValues();
    extras.insert(extras.end(), live.begin(), live.end());
    const SiteProfile profile = editorProfile();
    store_.save(profile, extras);
    extrasOwner_ = profile[fSiteTitle];
    refreshLists();
    status_("Saved profile \"" + profile[fSiteTitle] + "\" to " + store_.fileName(profile[fSiteTitle]));
}

void ProfileCommands::refreshLists() {
    const std::vector<std::string> names = store_.list();
    const int row = profileList_.Row();
    const std::string chosen =
        row >= 0 && row < profileList_.RowCount() ? profileList_.CellText(0, row) : std::string();
    profileList_.SetRowCount(static_cast<int>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i)
        profileList_.SetCellText(0, static_cast<int>(i), names[i]);
    // The chosen profile stays chosen wherever the file system's order now puts it.
    const auto it = std::find(names.begin(), names.end(), chosen);
    const int chosenRow = it == names.end() ? 0 : static_cast<int>(it - names.begin());
    profileList_.SetSelection({0, chosenRow, 0, chosenRow});
    profileList_.SetCurrent(0, chosenRow);
    refillSubmissionList(submissionList_, names);
}

std::string ProfileCommands::deleteQuestion() const {
    return "Do you wish to delete the information for " + current_ + "?";
}

void ProfileCommands::deleteCurrent() {
    store_.remove(current_);
    listProfiles();
}

SiteProfile ProfileCommands::editorProfile() const {
    SiteProfile profile;
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        profile[i] = editor_.fieldText(i);
    return profile;
}
