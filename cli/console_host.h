// The writer ports for writer-cli: a percentage on standard error while a transfer runs (only
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

  private:
    void Draw(std::uint32_t position);
    void Erase();
    bool terminal_;
    bool drawn_ = false;
    int last_ = -1;
};

// How the firmware question is answered.
enum class UpgradeAnswer { Ask, Yes, No };
// "ask", "yes" or "no"; none for anything else.
std::optional<UpgradeAnswer> ParseUpgradeAnswer(const std::string& text);

// The part the subcommand works on: `part` when given, else the one the window would open on for
// the attached writer's family; then the project file, loaded as Load File does. 0 when done,
// 1 when a message said why not.
int OpenPartAndProject(Session& session, writer::Writer& writer, std::optional<std::uint32_t> part,
                       const std::string& project);

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
