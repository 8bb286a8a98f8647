// A workbench wired to a vector buffer and a recording log, as the window wires it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "catalogue/lookup.h"
#include "workbench/vector_code_buffer.h"
#include "workbench/workbench.h"

namespace model_test {

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

class WorkbenchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cat::SetLanguageID(0);
        buffer.onChange = [this] { bench.OnBufferChanged(); };
        bench.Attach(&buffer, &log);
        bench.onChanged = [this](unsigned changes) {
            ++notifications;
            lastChanges = changes;
        };
        bench.FillSeriesList();
    }
    void TearDown() override { cat::SetLanguageID(0); }

    void Use(int part) { ASSERT_TRUE(bench.SelectPartByIndex(part)) << "part " << part; }
    std::uint8_t& Byte(std::size_t i) { return bench.info.optionBytes[i]; }
    model::OptionPanel& panel() { return bench.panel; }

    model::Workbench bench;
    model::VectorCodeBuffer buffer;
    RecordingLog log;
    int notifications = 0;
    unsigned lastChanges = 0;
};

}  // namespace model_test
