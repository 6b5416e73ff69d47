#pragma once

#include <string>
#include <vector>

// The items of the profile editor's drop-down lists, in list order. The user may also type
// a text that is not an item; the lists only offer the usual choices. The country list is
// countryItems() of core/catalogue/Countries.h.

// The 12 languages, "English" first and "Other" last.
const std::vector<std::string>& languageItems();
// The 163 categories: main categories and "Main:Sub" entries, "Adults Only" first.
const std::vector<std::string>& categoryItems();
