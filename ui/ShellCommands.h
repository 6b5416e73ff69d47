#pragma once

#include "platform/Mail.h"
#include "platform/ShellOpen.h"

#include <functional>
#include <string>

struct Config;
class QWidget;
class TReportGrid;

// The Help menu's home-page commands: the desktop opens the maker's, respectively the
// product's, home page. Whether it could is not reported.
using AddressOpener = std::function<void(const std::string& address)>;
void CorvaneHomePageClick(const Config& config, const AddressOpener& open = shellOpen);
void ProductHomePageClick(const Config& config, const AddressOpener& open = shellOpen);

// What "Sen&d" needs besides the table; tests replace both.
struct MailHooks {
    ProgramRunner run = runProgram;
    // Says that the message could not be handed over; by default the "Error sending mail" box.
    std::function<void(QWidget* parent)> failed;
};

// "Sen&d": opens a new message in the user's mail program whose body is MailBody, with no
// subject and no recipients. The window stays usable while
// the composer is open; when the mail program is missing or reports failure (the user
// abandoning the message included, where it can tell), "Error sending mail" is shown, unless
// parent has gone by then.
void Send1Click(const TReportGrid& grid, QWidget* parent, const MailHooks& hooks = {});

// The message body of "Sen&d": the results table as column-aligned text. A table too long
// for the mail program's argument gives the rows that fit, from the top, and a last line that
// says how many rows were left out and that the File menu saves them all.
std::string MailBody(const TReportGrid& grid);

// The box of a failed send: "Error sending mail" with an error icon and OK.
void ShowMailError(QWidget* parent);
