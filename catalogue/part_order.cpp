#include "catalogue/part_order.h"

#include <algorithm>

#include "catalogue/part_database.h"

namespace cat {

std::vector<SeriesEntry> OrderedSeries(int languageId) {
    constexpr int kLastSeries = 4;
    std::vector<SeriesEntry> entries;
    for (int s = 0; s <= 255; ++s) {
        const auto text = LookupText(kSeriesList, static_cast<std::uint16_t>(s));
        if (!text || text->empty()) continue;
        SeriesEntry entry{ChooseLanguageVariant(*text, languageId), s};
        if (s == kLastSeries) {
            entries.push_back(std::move(entry));
            continue;
        }
        const auto last = std::find_if(entries.begin(), entries.end(), [](const SeriesEntry& e) {
            return e.series == kLastSeries;
        });
        entries.insert(last, std::move(entry));
    }
    return entries;
}

std::vector<int> OrderedParts(int series) {
    std::vector<int> parts;
    for (int i = 0; i <= kMaxPartIndex; ++i) {
        const Part part(i);
        if (static_cast<int>(part.Number(key::kSeries)) != series || !part.Exists()) continue;
        auto position = parts.begin();
        for (; position != parts.end(); ++position) {
            const int v = *position;
            const int mask = (v <= 256 && i < 256) ? 0x7F : 0x7FF;
            if ((v & mask) > (i & mask)) break;
        }
        parts.insert(position, i);
    }
    return parts;
}

}  // namespace cat
