#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One row of the country table: the country's name as the user picks or types it, and the
// code sent to the engines. A code is a space followed by two capital letters (" DE"),
// except "00" for "other".
struct CountryRow {
    std::string_view name;
    std::string_view code;
};

// The 239 rows of the country table, in table order.
const std::vector<CountryRow>& countryTable();

// The 233 items that the editor's country list offers, in table order. The list leaves out
// six countries the table knows and spells three names its own way; the lookup maps
// those three spellings onto their table rows.
const std::vector<std::string>& countryItems();

// The code of the row named exactly so, case included, or nothing. The editor list's own
// spellings ("Afganistan", "Antartica", "Antiqua and Barbuda") find their rows too.
std::optional<std::string_view> countryCode(std::string_view name);
