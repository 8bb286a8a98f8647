// Shared set-up for the model tests: a control model on a window-less host.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "platform/quadrel_messages.h"
#include "quadrel/model/layout.h"
#include "quadrel/model/memory_host.h"
#include "quadrel/model/quadrel_model.h"

namespace quadrel::test {

using namespace platform;

class QuadrelModel : public ::testing::Test {
  protected:
    QuadrelModel() { model.SetClientSize(640, 480); }

    LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) { return model.Message(msg, w, l); }

    int SetBytes(const std::vector<std::uint8_t>& bytes) {
        return static_cast<int>(Send(QEM_SETDATA, reinterpret_cast<WPARAM>(bytes.data()),
                                     static_cast<LPARAM>(bytes.size())));
    }
    int SetCount(int n) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n));
        std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
        return SetBytes(bytes);
    }
    void Select(int start, int end) {
        QuadrelRange r{start, end};
        Send(QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 0);
    }
    std::vector<std::uint8_t> Bytes() const { return model.state().data; }
    const State& S() const { return model.state(); }
    void Key(quadrel::Key k, bool shift = false) { model.KeyDown(k, false, shift); }
    void CtrlKey(quadrel::Key k) { model.KeyDown(k, true, false); }
    void Type(const char* text) {
        for (const char* c = text; *c; ++c) model.Char(static_cast<unsigned char>(*c));
    }

    MemoryHost host;
    Model model{host};
};

}  // namespace quadrel::test
