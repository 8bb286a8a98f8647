#include "form/form_template.h"

#include <algorithm>

#include "catalogue/lookup.h"
#include "core/utf8.h"

namespace form {

namespace {
// Widths beyond a page line are typing errors; they are clamped rather than honoured.
constexpr std::size_t kMaxWidth = 1000;
}  // namespace

std::string_view FormTemplate() {
    return cat::LookupTextResource(kFormTemplateId).value_or(std::string_view{});
}

std::string FillTemplate(std::string_view format, std::span<const std::string> values) {
    std::string out;
    out.reserve(format.size() + 256);
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char ch = format[i];
        if (ch != '%') {
            out += ch;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::size_t at = i + 1;
        const bool left = at < format.size() && format[at] == '-';
        if (left) ++at;
        std::size_t width = 0;
        while (at < format.size() && format[at] >= '0' && format[at] <= '9') {
            width = std::min(kMaxWidth, width * 10 + static_cast<std::size_t>(format[at] - '0'));
            ++at;
        }
        if (at >= format.size() || format[at] != 's') {
            out += ch;  // not a string conversion: the text stays
            continue;
        }
        std::string_view value = next < values.size() ? std::string_view(values[next]) : "";
        ++next;
        // A string conversion ends at a NUL, and pads by the characters the line shows.
        value = value.substr(0, value.find('\0'));
        const std::size_t shown = core::ShownLength(value);
        const std::size_t fill = shown < width ? width - shown : 0;
        if (!left) out.append(fill, ' ');
        out += value;
        if (left) out.append(fill, ' ');
        i = at;
    }
    return out;
}

}  // namespace form
