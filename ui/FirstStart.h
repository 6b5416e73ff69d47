#pragma once

#include <functional>
#include <optional>
#include <string>

struct Config;
class QWidget;

// The catalogue's hosts are the engines of their time, whose domains now belong to owners
// nobody knows, and a run sends them the owner's name, e-mail, address and phone over plain
// http. So the first time the window starts it asks once whether runs send to the live
// channels only or to the catalogue too, and keeps the answer as [Run] Catalogue in the
// user's configuration file.
enum class CatalogueAnswer { LiveChannelsOnly, CatalogueToo, NoAnswer };

struct FirstStart {
    // The configuration file that the window was started with: the default one, or the one
    // named by --config (given).
    std::string configFile;
    bool configGiven = false;
    // Where the request records of earlier runs are kept.
    std::string runsDirectory;

    // Whether this is a first start that asks: no configuration named on the command line
    // (that one is the user's own, kept as it is), the default file does not set
    // [Run] Catalogue, and no run has been kept.
    bool asks() const;
    // Asks when this is such a start, sets config.catalogue from the answer and keeps it in
    // the configuration file. Nothing is kept when the question is closed unanswered: this
    // session then sends to the live channels only, and the next start asks again. Returns
    // why the answer could not be kept, or nothing.
    std::optional<std::string> settle(Config& config, const std::function<CatalogueAnswer()>& ask) const;
};

// The question as a message box.
CatalogueAnswer askAboutCatalogue(QWidget* parent);
