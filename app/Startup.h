#pragma once

#include "app/CommandLine.h"
#include "core/Config.h"
#include "platform/Error.h"

// A value on the command line that cannot be used: bad usage, exit status 2.
class UsageError : public LarkspanError {
public:
    using LarkspanError::LarkspanError;
};

// The configuration that the window and every command start from: the configuration file's
// values, its warnings printed to standard error, with --proxy and --cacert applied. Throws
// UsageError for an option value that cannot be used and LarkspanError for a configuration
// file that cannot be (exit status 1).
Config startupConfig(const CommandLine& cl);
