#pragma once

#include <cstdint>
#include <string>

// The settings of a table's HTML writer. Both tables keep the values they start with.
struct THTMLSettings {
    int BorderSize = 1;
    int CellSpacing = 0;
    int Width = 100;        // percent
    std::string PrefixTag;  // a line before the table when not empty
    std::string SuffixTag;  // a line after the table when not empty
    std::string HeaderFile; // copied line by line before everything else when set
    std::string FooterFile; // copied line by line after everything else when set
    // The background of fixed cells as 0xRRGGBB. Desktops under Qt offer no colour for active
    // window borders, so every table keeps this classic grey of that colour unless a caller
    // sets another.
    std::uint32_t FixedColor = 0xD4D0C8;
};
