#include "ui/ShellCommands.h"

#include "core/Config.h"
#include "grid/TextExport.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

void CorvaneHomePageClick(const Config& config, const AddressOpener& open) {
    open(config.makerHomePage);
}

void ProductHomePageClick(const Config& config, const AddressOpener& open) {
    open(config.productHomePage());
}

void ShowMailError(QWidget* parent) {
    QMessageBox box(QMessageBox::Critical, "Error", "Error sending mail", QMessageBox::Ok, parent);
    box.exec();
}

namespace {

std::string leftOutLine(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " more row" : " more rows") +
           " did not fit into this message; the File menu saves them all.\r\n";
}

} // namespace

std::string MailBody(const TReportGrid& grid) {
    const std::vector<std::string> lines = AsciiLines(grid);
    auto bodyOf = [&lines](std::size_t rows) {
        std::string body;
        for (std::size_t i = 0; i < rows; ++i)
            body += lines[i];
        if (rows < lines.size()) body += leftOutLine(lines.size() - rows);
        return body;
    };
    std::string whole = bodyOf(lines.size());
    if (mailBodyFits(whole)) return whole;
    // Every row adds more to the address than a shorter count takes away, so the bodies grow
    // with the number of rows and the longest that fits is found by halving.
    std::size_t fits = 0;
    std::size_t tooMany = lines.size();
    while (tooMany - fits > 1) {
        const std::size_t middle = fits + (tooMany - fits) / 2;
        (mailBodyFits(bodyOf(middle)) ? fits : tooMany) = middle;
    }
    return bodyOf(fits);
}

void Send1Click(const TReportGrid& grid, QWidget* parent, const MailHooks& hooks) {
    // The answer comes later, from the event loop; the window may be gone by then.
    QPointer<QWidget> window(parent);
    const bool hadParent = parent != nullptr;
    auto failed = hooks.failed ? hooks.failed : std::function<void(QWidget*)>(ShowMailError);
    sendMail(
        MailBody(grid),
        [window, hadParent, failed](bool sent) {
            if (sent || (hadParent && !window)) return;
            failed(window.data());
        },
        hooks.run);
}
