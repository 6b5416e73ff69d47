#include "ui/FirstStart.h"

#include "core/Config.h"
#include "core/run/KeptRuns.h"
#include "platform/Error.h"

#include <QMessageBox>
#include <QPushButton>

bool FirstStart::asks() const {
    if (configGiven || configFile.empty() || Config::setsCatalogue(configFile)) return false;
    return runsDirectory.empty() || KeptRuns(runsDirectory).newestFirst().empty();
}

std::optional<std::string> FirstStart::settle(Config& config,
                                              const std::function<CatalogueAnswer()>& ask) const {
    if (!asks()) return std::nullopt;
    const CatalogueAnswer answer = ask();
    config.catalogue = answer == CatalogueAnswer::CatalogueToo;
    if (answer == CatalogueAnswer::NoAnswer) return std::nullopt;
    try {
        Config::saveCatalogue(configFile, config.catalogue);
    } catch (const LarkspanError& e) {
        return std::string(e.what()) + ": the question will be asked again at the next start.";
    }
    return std::nullopt;
}

CatalogueAnswer askAboutCatalogue(QWidget* parent) {
    QMessageBox box(QMessageBox::Question, "Larkspan", "Where should Go! send your sites?",
                    QMessageBox::NoButton, parent);
    box.setInformativeText(
        "The live channels (IndexNow, Google Search Console) are today's services; they get the site's "
        "addresses over https, and only when you give a profile their keys.\n\n"
        "The catalogue is the 32 search engines and directories of Larkspan's first days. Their domains now "
        "belong to owners nobody knows, and a submission sends them your name, e-mail address, postal "
        "address and phone number over plain http.\n\n"
        "The Options page switches the catalogue on or off for one session; Catalogue in the section [Run] "
        "of the configuration file keeps your answer.");
    QPushButton* live = box.addButton("Live Channels Only", QMessageBox::AcceptRole);
    QPushButton* both = box.addButton("Catalogue Too", QMessageBox::DestructiveRole);
    box.setDefaultButton(live);
    box.setEscapeButton(QMessageBox::NoButton);
    box.exec();
    if (box.clickedButton() == live) return CatalogueAnswer::LiveChannelsOnly;
    if (box.clickedButton() == both) return CatalogueAnswer::CatalogueToo;
    return CatalogueAnswer::NoAnswer;
}
