#include "cli/console_host.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "cli/gang_channel.h"

namespace cli {

namespace {
constexpr int kBarWidth = 40;
constexpr int kDrawnWidth = kBarWidth + 7;  // "[", the bar, "] ", "100%"
}  // namespace

ConsoleHost::ConsoleHost()
    : terminal_(isatty(STDERR_FILENO) == 1), logOnTerminal_(isatty(STDOUT_FILENO) == 1) {}

ConsoleHost::~ConsoleHost() {
    Erase();
    if (log_) log_->beforeWrite = nullptr;
}

void ConsoleHost::ShareTerminalWith(StdoutLog& log) {
    log_ = &log;
    log.beforeWrite = [this] { Erase(); };
}

void ConsoleHost::SetProgressPosition(std::uint32_t position) {
    TellGang("progress", position > 100 ? 100 : position);
    if (!terminal_) return;
    // Nothing is drawn until a transfer moves.
    if (position == 0 && !drawn_) return;
    Draw(position > 100 ? 100 : position);
}

void ConsoleHost::ShowProgressBar(bool shown) {
    if (shown) opened = true;
    if (!shown) Erase();
}

void ConsoleHost::Wait(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string ConsoleHost::LinePrefix() const {
    return log_ && logOnTerminal_ && !log_->keepLines ? log_->partialLine() : std::string();
}

void ConsoleHost::Draw(std::uint32_t position) {
    if (static_cast<int>(position) == last_) return;
    last_ = static_cast<int>(position);
    const int filled = static_cast<int>(position) * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(stderr, "\r%s[%s] %3u%%", LinePrefix().c_str(), bar.c_str(), position);
    std::fflush(stderr);
    drawn_ = true;
}

void ConsoleHost::Erase() {
    if (!drawn_) return;
    // Blanks the bar and leaves the cursor where the log's line goes on.
    const std::string prefix = LinePrefix();
    std::fprintf(stderr, "\r%s%*s\r%s", prefix.c_str(), kDrawnWidth, "", prefix.c_str());
    std::fflush(stderr);
    drawn_ = false;
    last_ = -1;
}

std::optional<UpgradeAnswer> ParseUpgradeAnswer(const std::string& text) {
    if (text == "ask") return UpgradeAnswer::Ask;
    if (text == "yes") return UpgradeAnswer::Yes;
    if (text == "no") return UpgradeAnswer::No;
    return std::nullopt;
}

bool ConsoleQuestions::AskOkCancel(std::string_view caption, std::string_view text) {
    Show(caption, text);
    switch (answer_) {
        case UpgradeAnswer::Yes:
            return true;
        case UpgradeAnswer::No:
            return false;
        case UpgradeAnswer::Ask:
            break;
    }
    if (isatty(STDIN_FILENO) != 1) {
        std::fputs("writer-cli: no terminal to answer on; refused (see --upgrade)\n", stderr);
        return false;
    }
    std::fputs("OK to go on? [y/N] ", stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace cli
