// The writer ports for writer-cli: a progress bar on standard error while a transfer moves (only
// when it is a terminal), the firmware question answered from --upgrade.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/session.h"
#include "writer/host.h"
#include "writer/writer.h"

namespace cli {

class ConsoleHost : public writer::Host {
  public:
    ConsoleHost();
    ~ConsoleHost() override;
    void SetProgressPosition(std::uint32_t position) override;
    void ShowProgressBar(bool shown) override;
    void PumpMessages() override {}
    void Wait(std::uint32_t ms) override;

    // Whether an operation got as far as opening the writer (its progress bar was shown).
    bool opened = false;

    // Keeps the bar off the log's lines: it is erased before the log writes anything, and,
    // when the log is on the same terminal, drawn after the log's unfinished line ("Program
    // => ") instead of over it. Undone when the host goes.
    void ShareTerminalWith(StdoutLog& log);

  private:
    void Draw(std::uint32_t position);
    void Erase();
    // The log's unfinished line when it is on the terminal too.
    std::string LinePrefix() const;
    bool terminal_;
    bool logOnTerminal_;
    StdoutLog* log_ = nullptr;
    bool drawn_ = false;
    int last_ = -1;
};

// How the firmware question is answered.
enum class UpgradeAnswer { Ask, Yes, No };
// "ask", "yes" or "no"; none for anything else.
std::optional<UpgradeAnswer> ParseUpgradeAnswer(const std::string& text);

// Message boxes on standard error; the firmware question answered as `answer` says (Ask: on the
// terminal when there is one, else refused). Yes/No questions are answered Yes.
class ConsoleQuestions : public StderrQuestions {
  public:
    explicit ConsoleQuestions(UpgradeAnswer answer) : answer_(answer) {}
    bool AskOkCancel(std::string_view caption, std::string_view text) override;

  private:
    UpgradeAnswer answer_;
};

}  // namespace cli
