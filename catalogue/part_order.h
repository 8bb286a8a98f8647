// The order in which the series list and the part list show their entries: the one rule the
// window's lists and writer-cli's catalogue listing both follow.
#pragma once

#include <string>
#include <vector>

namespace cat {

struct SeriesEntry {
    std::string name;  // in the language asked for
    int series = 0;    // the entry's item value
};

// Series 0..255 that have a non-empty name, ascending with series 4 last.
std::vector<SeriesEntry> OrderedSeries(int languageId);

// Parts of `series` in list order: by low 7 bits below 256, by low 11 bits otherwise,
// so that each part is followed by its supply-voltage sibling.
std::vector<int> OrderedParts(int series);

}  // namespace cat
