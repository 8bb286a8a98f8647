// What the writer side needs from whoever faces the operator, beyond the log and the questions:
// the main progress bar, the pass over pending events between chunks, and waiting.
#pragma once

#include <cstdint>

namespace writer {

class Host {
  public:
    virtual ~Host() = default;
    // The main progress bar's position, 0 to 100 (more when a caller's counters overshoot).
    virtual void SetProgressPosition(std::uint32_t position) = 0;
    // The progress bar stands in the file path's place while a writer operation is open.
    virtual void ShowProgressBar(bool shown) = 0;
    // Dispatches every pending event of the user-interface thread, then returns.
    virtual void PumpMessages() = 0;
    // Blocks for `ms` milliseconds (the settling waits after an upgrade).
    virtual void Wait(std::uint32_t ms) = 0;
    // Repaints the main window at once.
    virtual void Repaint() {}
};

}  // namespace writer
