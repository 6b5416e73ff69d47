#include "core/ProfileCommands.h"

#include "core/Sitemaps.h"
#include "core/SubmissionList.h"

#include "grid/ReportGrid.h"
#include "platform/Error.h"

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
}

void ProfileCommands::save() {
    if (auto problem = editor_.liveChannelProblem()) throw LarkspanError(*problem);
    if (auto problem = sitemapKeyProblem(editor_.sitemap())) throw LarkspanError(*problem);
    ProfileExtras extras{{SitemapKey, editor_.sitemap()}};
    ProfileExtras live = editor_.liveChannelValues();
    extras.insert(extras.end(), live.begin(), live.end());
    store_.save(editorProfile(), extras);
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
