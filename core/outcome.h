// How an action ended, said one way everywhere: the writer's commands and composites, the
// firmware check and upgrade, the file actions. A caller that drops an outcome gets a warning
// (an error in CI), so a failure cannot fall on the floor unnoticed.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace core {

enum class Ending : unsigned char {
    kPassed,
    kFailed,
    // Nothing was done: turned away while busy, refused before anything was sent, cancelled.
    kNotStarted,
};

class [[nodiscard]] Outcome {
  public:
    static Outcome Passed() { return Outcome(Ending::kPassed, {}); }
    static Outcome Failed(std::string why = {}) { return Outcome(Ending::kFailed, std::move(why)); }
    static Outcome NotStarted(std::string why = {}) {
        return Outcome(Ending::kNotStarted, std::move(why));
    }
    // Passed when `ok`, else failed: for the places that only know yes or no.
    static Outcome From(bool ok, std::string whyNot = {}) {
        return ok ? Passed() : Failed(std::move(whyNot));
    }

    Ending ending() const { return ending_; }
    bool passed() const { return ending_ == Ending::kPassed; }
    bool failed() const { return ending_ == Ending::kFailed; }
    bool notStarted() const { return ending_ == Ending::kNotStarted; }
    // Why it failed or did not start; empty when the log already says it all.
    const std::string& why() const { return why_; }

    // The first outcome that is not a pass wins; a pass after a failure stays a failure.
    Outcome& operator&=(const Outcome& next) {
        if (passed()) *this = next;
        return *this;
    }

    friend bool operator==(const Outcome&, const Outcome&) = default;

  private:
    Outcome(Ending ending, std::string why) : ending_(ending), why_(std::move(why)) {}

    Ending ending_;
    std::string why_;
};

// "passed", "failed" or "not started": for machine-readable reports.
inline std::string_view EndingName(Ending ending) {
    switch (ending) {
        case Ending::kPassed:
            return "passed";
        case Ending::kFailed:
            return "failed";
        case Ending::kNotStarted:
            return "not started";
    }
    return "failed";
}

}  // namespace core
