// A ModelHost without a window: a private clipboard, fixed cell metrics and counters. Used by the
// tests, the fuzzer and anything else that drives the model on its own.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quadrel/model/quadrel_model.h"

namespace quadrel {

class MemoryHost : public ModelHost {
  public:
    int changes = 0;
    int repaints = 0;
    int measures = 0;
    bool clipboardOpens = true;
    bool clipboardHasData = false;
    std::vector<std::uint8_t> clipboard;
    CellSize cell{8, 16};

    void NotifyChange() override { ++changes; }
    void Repaint() override { ++repaints; }
    CellSize MeasureCell(int) override {
        ++measures;
        return cell;
    }
    bool PutClipboard(std::span<const std::uint8_t> bytes) override {
        if (!clipboardOpens) return false;
        clipboard.assign(bytes.begin(), bytes.end());
        clipboardHasData = true;
        return true;
    }
    ClipboardRead TakeClipboard(std::vector<std::uint8_t>& bytes) override {
        if (!clipboardOpens) return ClipboardRead::kCannotOpen;
        if (!clipboardHasData) return ClipboardRead::kNoData;
        bytes = clipboard;
        return ClipboardRead::kData;
    }
};

}  // namespace quadrel
