#include "workbench/list_model.h"

#include <cctype>

namespace model {

void ListModel::Clear() {
    entries_.clear();
    selected_ = -1;
}

int ListModel::Add(std::string text, ItemValue value) {
    entries_.push_back({std::move(text), value});
    return Count() - 1;
}

int ListModel::Insert(int position, std::string text, ItemValue value) {
    if (position < 0 || position > Count()) return Add(std::move(text), value);
    entries_.insert(entries_.begin() + position, {std::move(text), value});
    if (selected_ >= position) ++selected_;
    return position;
}

std::string ListModel::Text(int position) const {
    if (position < 0 || position >= Count()) return {};
    return entries_[static_cast<std::size_t>(position)].text;
}

ItemValue ListModel::Value(int position) const {
    if (position < 0 || position >= Count()) return 0;
    return entries_[static_cast<std::size_t>(position)].value;
}

int ListModel::Select(int position) {
    selected_ = (position >= 0 && position < Count()) ? position : -1;
    return selected_;
}

int ListModel::SelectByValue(ItemValue value) {
    for (int i = Count() - 1; i >= 0; --i) {
        if (entries_[static_cast<std::size_t>(i)].value == value) return Select(i);
    }
    return Select(-1);
}

ItemValue ListModel::ValueOfSelection() const {
    return Value(selected_);
}

std::string ListModel::TextOfValue(ItemValue value) const {
    for (const auto& entry : entries_) {
        if (entry.value == value) return entry.text;
    }
    return {};
}

namespace {
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}
}  // namespace

int ListModel::FindPrefix(int start, std::string_view prefix) const {
    const int n = Count();
    if (n == 0) return -1;
    if (start < -1 || start >= n) start = -1;
    for (int k = 1; k <= n; ++k) {
        const int i = (start + k) % n;
        if (StartsWithNoCase(entries_[static_cast<std::size_t>(i)].text, prefix)) return i;
    }
    return -1;
}

}  // namespace model
