#pragma once

#include "platform/Error.h"

// The table control's failures: "Invalid row accessed", "Cannot create " and a file name,
// and the office servers' "... OLE server not found".
class EReportGridError : public LarkspanError {
public:
    using LarkspanError::LarkspanError;
};
