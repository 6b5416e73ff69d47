#pragma once

#include "app/CommandLine.h"
#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/profiles/SiteProfile.h"
#include "core/store/SiteStore.h"
#include "http/live/LiveClient.h"

#include <memory>
#include <optional>
#include <string>

// What a command is handed: its parsed line and what its row's needs had prepared. What the row
// does not need stays empty.
struct CommandContext {
    explicit CommandContext(const CommandLine& parsed) : line(parsed) {}

    const CommandLine& line;
    // Needs::Config.
    Config config;
    // Needs::Directory.
    ProfileFiles profiles{std::string()};
    // Needs::Profile: the first NAME's profile, its fields as a run prepares them (the URL among
    // them is the profile URL that a run probes), and whether they are complete.
    LoadedProfile profile;
    SubmissionFields fields;
    bool complete = false;
    // Needs::Network.
    std::unique_ptr<LiveClient> client;
    // Needs::Store.
    std::optional<SiteStore> store;

    // The first NAME of the line.
    const std::string& name() const { return line.args.front(); }
};

// Runs the row's command: its refusal of bad usage first (exit status 2), then what it needs,
// then the command itself, whose exit status this returns. Throws UsageError and LarkspanError
// as startupConfig does, and whatever the command throws.
int runCommand(const CommandRow& row, const CommandLine& line);

// The site store that runs made in the directory, opened read-only for the commands that only
// read it and never make, import or change anything. Nothing, after saying so on standard error,
// when there is none yet; throws StoreError when it cannot be opened.
std::optional<SiteStore> existingStore(const std::string& directory);
