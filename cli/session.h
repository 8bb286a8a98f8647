// What the subcommands that act like the window share: the log on standard output, message boxes
// on standard error, the file dialogs answered from the command line, a workbench over a plain
// vector, argument numbers and the usage error.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/operator_ports.h"
#include "workbench/file_actions.h"
#include "workbench/vector_code_buffer.h"
#include "workbench/workbench.h"

namespace cli {

// The message log on standard output: "\r\n" becomes a line break, other bytes stay. A stream
// cannot take lines back, so where the window clears its log a new line starts instead, and the
// last line is ended when the log goes.
class StdoutLog : public core::MessageSink {
  public:
    StdoutLog() = default;
    StdoutLog(const StdoutLog&) = delete;
    StdoutLog& operator=(const StdoutLog&) = delete;
    ~StdoutLog() override { EndLine(); }
    void Clear() override { EndLine(); }
    void Append(std::string_view text) override;
    // Ends a line left unfinished, so whatever follows starts on a line of its own.
    void EndLine();

    // The line being written, not ended yet.
    const std::string& partialLine() const { return partial_; }
    // Runs before anything reaches standard output (the progress bar is erased there).
    std::function<void()> beforeWrite;
    // Lines go into `lines` instead of standard output (a report gives them later).
    bool keepLines = false;
    std::vector<std::string> lines;

  private:
    void Write(std::string_view text);
    std::string partial_;
};

// Message boxes go to standard error; questions are answered Yes.
class StderrQuestions : public core::Questions {
  public:
    void Inform(std::string_view caption, std::string_view text) override;
    bool AskOkCancel(std::string_view caption, std::string_view text) override;
    bool AskYesNo(std::string_view caption, std::string_view text) override;
    static void Show(std::string_view caption, std::string_view text);
};

// Answers the file dialogs from the command line.
class OptionDialogs : public proj::FileDialogs {
  public:
    std::uint32_t placeAddress = 0;
    std::optional<proj::IspChoice> isp;
    std::optional<std::uint8_t> customId;
    std::optional<std::string> stringId;
    std::string output;
    std::string open;  // the file Load File picks

    std::optional<std::string> OpenProgramFile() override;
    std::optional<std::uint32_t> SelectArea(std::uint32_t) override { return placeAddress; }
    std::optional<std::string> SaveBufferFile() override { return std::nullopt; }
    std::optional<std::string> SaveProjectFile() override { return output; }
    void CustomSetting(std::uint8_t& id, std::string& text) override;
    std::optional<proj::IspChoice> InsertIsp() override { return isp; }
};

// Whole-word numbers: decimal or 0x-hexadecimal; hexadecimal with or without 0x.
std::optional<std::uint32_t> ParseNumberArg(const std::string& text);
std::optional<std::uint32_t> ParseHexArg(const std::string& text);
// "writer-cli: WHAT: ARG" on standard error; returns 1.
int Fail(const char* what, const std::string& arg);
// "writer-cli: WHY" (when given), then the subcommand's usage text, on standard error; returns 2.
int UsageError(const char* help, const std::string& why);

// The window's state without the window.
struct Session {
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    model::VectorCodeBuffer buffer;
    StdoutLog log;
    StderrQuestions questions;
    OptionDialogs dialogs;
    model::Workbench bench;

    // Selects the part with its series, as the lists would. 1 with a message when there is none.
    int SelectPart(std::uint32_t partIndex);
};

}  // namespace cli
