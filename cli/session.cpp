#include "cli/session.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "catalogue/part_database.h"

namespace cli {

void StdoutLog::Write(std::string_view text) {
    if (keepLines) return;
    if (beforeWrite) beforeWrite();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void StdoutLog::EndLine() {
    if (partial_.empty()) return;
    if (keepLines) lines.push_back(partial_);
    Write("\n");
    partial_.clear();
}

void StdoutLog::Append(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    if (out.empty()) return;
    Write(out);
    for (const char c : out) {
        if (c != '\n') {
            partial_ += c;
            continue;
        }
        if (keepLines) lines.push_back(partial_);
        partial_.clear();
    }
}

void StderrQuestions::Show(std::string_view caption, std::string_view text) {
    if (!caption.empty())
        std::fprintf(stderr, "%.*s: ", static_cast<int>(caption.size()), caption.data());
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}
void StderrQuestions::Inform(std::string_view caption, std::string_view text) {
    Show(caption, text);
}
bool StderrQuestions::AskOkCancel(std::string_view caption, std::string_view text) {
    Show(caption, text);
    return true;
}
bool StderrQuestions::AskYesNo(std::string_view caption, std::string_view text) {
    Show(caption, text);
    return true;
}

std::optional<std::string> OptionDialogs::OpenProgramFile() {
    if (open.empty()) return std::nullopt;
    return open;
}

void OptionDialogs::CustomSetting(std::uint8_t& id, std::string& text) {
    if (customId) id = *customId;
    if (stringId) text = stringId->substr(0, 16);
}

namespace {

std::optional<std::uint32_t> ParseUnsigned(const std::string& text, int base) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, base);
    if (errno || *end || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

bool HasHexPrefix(const std::string& text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

}  // namespace

std::optional<std::uint32_t> ParseNumberArg(const std::string& text) {
    if (HasHexPrefix(text)) return ParseUnsigned(text.substr(2), 16);
    return ParseUnsigned(text, 10);
}

std::optional<std::uint32_t> ParseHexArg(const std::string& text) {
    if (HasHexPrefix(text)) return ParseUnsigned(text.substr(2), 16);
    return ParseUnsigned(text, 16);
}

int Fail(const char* what, const std::string& arg) {
    std::fprintf(stderr, "writer-cli: %s: %s\n", what, arg.c_str());
    return 1;
}

int UsageError(const char* help, const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "writer-cli: %s\n\n", why.c_str());
    std::fputs(help, stderr);
    return 2;
}

Session::Session() {
    bench.Attach(&buffer, &log);
    buffer.onChange = [this] { bench.OnBufferChanged(); };
    bench.FillSeriesList();
}

int Session::SelectPart(std::uint32_t partIndex) {
    if (partIndex > static_cast<std::uint32_t>(cat::kMaxPartIndex) ||
        !cat::Part(static_cast<int>(partIndex)).Exists()) {
        return Fail("no such part", std::to_string(partIndex));
    }
    if (!bench.SelectPartByIndex(static_cast<int>(partIndex)))
        return Fail("part is not listed", std::to_string(partIndex));
    return 0;
}

}  // namespace cli
