#include "catalogue/resources.h"

#include <algorithm>

namespace cat {

std::optional<Bytes> FindResource(std::uint16_t id) {
    const auto all = CarriedResources();
    const auto it =
        std::lower_bound(all.begin(), all.end(), id,
                         [](const CarriedResource& r, std::uint16_t v) { return r.id < v; });
    if (it == all.end() || it->id != id) return std::nullopt;
    return Bytes(it->data, it->size);
}

const char* KindName(ResourceKind kind) {
    switch (kind) {
        case ResourceKind::ImageLibrary:
            return "images";
        case ResourceKind::Text:
            return "text";
        case ResourceKind::StringTable:
            break;
    }
    return "strings";
}

}  // namespace cat
