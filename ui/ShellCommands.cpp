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

void Send1Click(const TReportGrid& grid, QWidget* parent, const MailHooks& hooks) {
    // The answer comes later, from the event loop; the window may be gone by then.
    QPointer<QWidget> window(parent);
    const bool hadParent = parent != nullptr;
    auto failed = hooks.failed ? hooks.failed : std::function<void(QWidget*)>(ShowMailError);
    sendMail(
        AsciiText(grid),
        [window, hadParent, failed](bool sent) {
            if (sent || (hadParent && !window)) return;
            failed(window.data());
        },
        hooks.run);
}
