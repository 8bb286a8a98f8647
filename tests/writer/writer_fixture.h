// A writer side over a plain workbench, driving a virtual writer on a temporary socket; the log,
// the questions, the progress positions and the frames the device received, for comparing whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "workbench/vector_code_buffer.h"
#include "workbench/workbench.h"
#include "writer/writer.h"

namespace wt {

class RecordingLog : public core::MessageSink {
  public:
    void Clear() override {
        text.clear();
        ++clears;
    }
    void Append(std::string_view t) override { text += t; }
    std::string text;
    int clears = 0;
};

class ScriptedQuestions : public core::Questions {
  public:
    void Inform(std::string_view caption, std::string_view text) override {
        boxes.push_back(std::string(caption) + "|" + std::string(text));
    }
    bool AskOkCancel(std::string_view, std::string_view text) override {
        asked.emplace_back(text);
        return answerOk;
    }
    bool AskYesNo(std::string_view, std::string_view text) override {
        asked.emplace_back(text);
        return true;
    }
    bool answerOk = true;
    std::vector<std::string> boxes, asked;
};

class RecordingHost : public writer::Host {
  public:
    void SetProgressPosition(std::uint32_t p) override { positions.push_back(p); }
    void ShowProgressBar(bool shown) override { barShown = shown; }
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
    void Wait(std::uint32_t ms) override { waits.push_back(ms); }
    std::vector<std::uint32_t> positions, waits;
    bool barShown = false;
    int pumps = 0;
    std::function<void()> onPump;
};

// One frame as the device received it.
struct Frame {
    int cmd, sub;
    std::uint32_t p1, p2, p3;
    bool operator==(const Frame&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Frame& f);

// Whole logs and frame lists compared, a failure naming the first line or frame that differs.
::testing::AssertionResult SameLog(const std::string& expected, const std::string& actual);
::testing::AssertionResult SameFrames(const std::vector<Frame>& expected,
                                      const std::vector<Frame>& actual);

// p1 == kDc in an expected frame stands for the part's device code.
inline constexpr std::uint32_t kDc = 0xDC;

// Elapsed times print as 0.000: the ticks stand still.
class WriterTest : public ::testing::Test {
  protected:
    // `args`: extra vwriter arguments; `part`: the part applied to the workbench.
    void Start(std::vector<std::string> args = {}, int part = 1);
    void Load(const std::vector<std::uint8_t>& bytes) { buffer.SetBytes(bytes); }
    std::vector<Frame> Frames() const;  // every frame received since Start
    // The frames an operation sends after the firmware check's 0/0, device code filled in.
    std::vector<Frame> AfterFirmwareCheck(std::vector<Frame> frames) const;
    int Connections() const;  // connections the device saw opened
    std::uint32_t DeviceCode() const;

    std::unique_ptr<vwt::VWriter> device;
    model::VectorCodeBuffer buffer;
    model::Workbench bench;
    RecordingLog log;
    ScriptedQuestions questions;
    RecordingHost host;
    std::unique_ptr<writer::WriterLink> link;
    std::unique_ptr<writer::Writer> writer;
};

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed);

}  // namespace wt
