#include "production/gang.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace production {

namespace {

std::vector<std::string> SplitNames(std::string_view writerList) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at <= writerList.size();) {
        const std::size_t comma = std::min(writerList.find(',', at), writerList.size());
        names.emplace_back(writerList.substr(at, comma - at));
        at = comma + 1;
    }
    return names;
}

std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// Shell words, quoted only where a shell would split or expand them.
std::string Quoted(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("-_./:=,+@%").find(c) != std::string_view::npos;
    });
    if (plain) return word;
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

GangChoice ChooseGang(std::string_view writerList, const std::vector<AttachedWriter>& attached) {
    GangChoice choice;
    std::vector<std::string> names;
    if (writerList == "all") {
        for (const AttachedWriter& w : attached) {
            if (w.inLoader) continue;
            const auto sameSerial =
                std::count_if(attached.begin(), attached.end(),
                              [&](const auto& o) { return o.serial == w.serial; });
            names.push_back(!w.serial.empty() && sameSerial == 1 ? w.serial : w.path);
        }
        if (names.empty()) choice.problem = "no writer is attached\n";
    } else {
        names = SplitNames(writerList);
    }
    for (const std::string& name : names) {
        WriterChoice one = ResolveWriter(name, attached);
        if (one.selection.empty()) {
            choice.problem = one.problem;
            break;
        }
        const auto same = [&](const GangWriter& g) { return g.selection == one.selection; };
        if (std::any_of(choice.writers.begin(), choice.writers.end(), same)) {
            choice.problem = "'" + name + "' names a writer already in the gang\n";
            break;
        }
        choice.writers.push_back({name, one.selection});
    }
    if (!choice.problem.empty()) choice.writers.clear();
    return choice;
}

std::vector<std::string> GangProgress::TakeLog(std::string_view bytes) {
    std::vector<std::string> lines;
    for (const char c : bytes) {
        if (c == '\n') {
            NoteStep(partial_);
            constexpr std::string_view kSerialLine = "Serial number: ";
            if (partial_.starts_with(kSerialLine)) {
                if (const auto n =
                        ParseDecimal(std::string_view(partial_).substr(kSerialLine.size())))
                    serial_ = *n;
            }
            lines.push_back(std::move(partial_));
            partial_.clear();
        } else {
            partial_ += c;
        }
    }
    if (!partial_.empty()) NoteStep(partial_);
    return lines;
}

std::optional<std::string> GangProgress::FlushLog() {
    if (partial_.empty()) return std::nullopt;
    std::string rest = std::move(partial_);
    partial_.clear();
    return rest;
}

void GangProgress::NoteStep(const std::string& text) {
    // Log lines name their step before " => ": "Program => Pass !".
    const std::size_t arrow = text.find(" => ");
    if (arrow == std::string::npos || arrow == 0) return;
    std::string step = text.substr(0, arrow);
    if (step != step_) percent_ = 0;
    step_ = std::move(step);
}

void GangProgress::TakeChannel(std::string_view bytes) {
    channel_.append(bytes);
    for (std::size_t end; (end = channel_.find('\n')) != std::string::npos;) {
        const std::string line = channel_.substr(0, end);
        channel_.erase(0, end + 1);
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const auto value = ParseDecimal(std::string_view(line).substr(space + 1));
        if (!value) continue;
        const std::string_view what = std::string_view(line).substr(0, space);
        if (what == "progress") percent_ = std::min<std::uint32_t>(*value, 100);
    }
    // A line that never ends is not kept without bound.
    if (channel_.size() > 256) channel_.clear();
}

std::string GangSummary(const std::vector<GangOutcome>& outcomes) {
    std::size_t width = 6;
    for (const GangOutcome& o : outcomes) width = std::max(width, o.name.size());
    const int w = static_cast<int>(width);
    char line[512];
    std::snprintf(line, sizeof line, "%-*s  %10s  %-6s  %9s\n", w, "writer", "serial", "result",
                  "elapsed");
    std::string text = line;
    int passed = 0;
    for (const GangOutcome& o : outcomes) {
        const bool ok = o.exitStatus == 0;
        passed += ok ? 1 : 0;
        const std::string serial = o.serial ? std::to_string(*o.serial) : "-";
        std::snprintf(line, sizeof line, "%-*s  %10s  %-6s  %7lld.%01lld s\n", w, o.name.c_str(),
                      serial.c_str(), ok ? "passed" : "failed",
                      static_cast<long long>(o.elapsedMs / 1000),
                      static_cast<long long>(o.elapsedMs % 1000 / 100));
        text += line;
    }
    std::snprintf(line, sizeof line, "%d of %zu writers passed\n", passed, outcomes.size());
    return text + line;
}

std::string RerunCommand(const std::vector<GangOutcome>& outcomes,
                         const std::vector<std::string>& operationArgs) {
    std::string failed;
    for (const GangOutcome& o : outcomes) {
        if (o.exitStatus != 0) failed += (failed.empty() ? "" : ",") + o.name;
    }
    if (failed.empty()) return {};
    std::string command = "writer-cli gang --writers " + Quoted(failed);
    for (const std::string& a : operationArgs) command += " " + Quoted(a);
    return command;
}

}  // namespace production
