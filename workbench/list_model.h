// Widget-free state of the window's controls. The core reads and writes these; the window
// mirrors them into its widgets and writes the operator's changes back before raising an event.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace model {

using ItemValue = std::int64_t;

struct ListEntry {
    std::string text;
    ItemValue value = 0;
};

// A drop-down list: entries with item values, one selection or none (-1).
class ListModel {
  public:
    explicit ListModel(int id = 0) : id_(id) {}

    int id() const { return id_; }

    // Entries.
    void Clear();
    int Add(std::string text, ItemValue value);  // returns the new position
    // Inserts before `position`; a position outside 0..Count() appends.
    int Insert(int position, std::string text, ItemValue value);
    int Count() const { return static_cast<int>(entries_.size()); }
    const std::vector<ListEntry>& entries() const { return entries_; }
    // Text and value at a position; empty text and 0 outside the list.
    std::string Text(int position) const;
    ItemValue Value(int position) const;

    // Selection. Selecting a position outside the list selects nothing; returns the selection.
    int Select(int position);
    int Selected() const { return selected_; }
    bool HasSelection() const { return selected_ >= 0; }
    // Searches from the last entry to the first; selects nothing and returns -1 when none matches.
    int SelectByValue(ItemValue value);
    ItemValue ValueOfSelection() const;  // 0 when nothing is selected
    // Text of the lowest-positioned entry with `value`; empty when there is none.
    std::string TextOfValue(ItemValue value) const;
    // First entry after `start` whose text begins with `prefix` (ASCII case ignored), wrapping
    // around to the entries up to `start`; -1 when none.
    int FindPrefix(int start, std::string_view prefix) const;

    bool enabled = true;
    std::string tooltip;

  private:
    int id_;
    std::vector<ListEntry> entries_;
    int selected_ = -1;
};

// A check box. Option rows also carry the byte index and mask of the bit they show.
struct CheckModel {
    explicit CheckModel(int controlId = 0) : id(controlId) {}
    int id;
    bool enabled = true;
    bool ticked = false;
    std::string text;
    std::string tooltip;
    std::uint8_t byteIndex = 0;
    std::uint32_t mask = 0;
};

// A static text or read-only edit field.
struct TextModel {
    explicit TextModel(int controlId = 0) : id(controlId) {}
    int id;
    std::string text;
    bool enabled = true;
};

}  // namespace model
