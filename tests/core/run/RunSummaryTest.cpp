// What the end of a run says: "Done!" unless a run with the catalogue off sent nothing, and on
// the status line the refusals or why nothing was sent.
#include "core/run/RunSummary.h"

#include <gtest/gtest.h>

TEST(RunSummary, TheEndSaysWhatNeedsAttention) {
    const std::string catalogueOff = "Nothing was sent: the catalogue is switched off";
    struct Case {
        RunTally tally;
        std::string message;
        std::string status;
    };
    const Case cases[] = {
        // A run that sent its requests: "Done!" and nothing after it.
        {{1, 1, 32, 0, true, false}, "Done!", ""},
        {{1, 1, 33, 1, true, false}, "Done!", "Done, 1 live channel refused: see below"},
        {{2, 2, 2, 3, false, false}, "Done!", "Done, 3 live channels refused: see below"},
        // With the catalogue on, a run that sends nothing ends as it always has.
        {{0, 0, 0, 0, true, false}, "Done!", ""},
        {{1, 1, 0, 0, true, false}, "Done!", ""},
        // With it off, the status line says why nothing was sent, and so does the box when a
        // complete profile was there to send.
        {{0, 0, 0, 0, false, false},
         "Done!",
         "Nothing was sent: no profile is highlighted on Prepare Submission List."},
        {{2, 0, 0, 0, false, false},
         "Done!",
         "Nothing was sent: no highlighted profile has all its required fields."},
        {{1, 1, 0, 0, false, false}, catalogueOff, catalogueOff},
        // A channel that refused before sending anything has said why on its own line.
        {{1, 1, 0, 1, false, false}, "Done!", "Done, 1 live channel refused: see below"},
        // A stopped run says nothing more than it did.
        {{1, 1, 0, 0, false, true}, "Done!", ""},
    };
    for (const Case& c : cases) {
        const std::string message = runEndMessage(c.tally);
        const std::string status = runEndStatus(c.tally);
        if (c.message == catalogueOff)
            EXPECT_EQ(message.rfind(catalogueOff, 0), 0u) << message;
        else
            EXPECT_EQ(message, c.message);
        if (c.status == catalogueOff)
            EXPECT_EQ(status, message);
        else
            EXPECT_EQ(status, c.status) << c.tally.sent << " sent, " << c.tally.refusals << " refused";
    }
    EXPECT_EQ(catalogueOffNote(32), "Catalogue off: 0 of 32 entries sent");
}
