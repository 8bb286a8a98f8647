// Thousands of random messages, keys, characters, clicks and scrolls; after each one the
// control's invariants must hold and everything a paint reads must stay inside the buffer.
#include <algorithm>
#include <random>

#include "tests/quadrel/model_fixture.h"

namespace quadrel::test {
namespace {

class RandomDriver {
  public:
    RandomDriver(Model& model, MemoryHost& host, std::uint32_t seed)
        : model_(model), host_(host), rng_(seed) {}

    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    int Near(int v) {
        return static_cast<int>(
            std::clamp<long long>(static_cast<long long>(v) + Pick(-2, 2), INT32_MIN, INT32_MAX));
    }

    // Counts and indices cluster around the interesting edges: 0, the size, the capacity.
    int EdgyIndex() {
        const State& s = model_.state();
        switch (Pick(0, 5)) {
            case 0:
                return Pick(-3, 3);
            case 1:
                return Near(s.size);
            case 2:
                return Near(s.capacity);
            case 3:
                return Pick(0, 300);
            case 4:
                return Pick(INT32_MIN, INT32_MAX);
            default:
                return Pick(0, std::max(1, s.size));
        }
    }

    void Step() {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(Pick(0, 700)));
        for (auto& b : bytes) b = static_cast<std::uint8_t>(Pick(0, 255));
        const auto ptr = reinterpret_cast<WPARAM>(bytes.data());
        QuadrelRange range{EdgyIndex(), EdgyIndex()};
        const auto rangePtr = reinterpret_cast<WPARAM>(&range);
        switch (Pick(0, 24)) {
            case 0:
                model_.Message(QEM_SETDATA, Pick(0, 8) ? ptr : 0,
                               static_cast<LPARAM>(bytes.size()));
                break;
            case 1:
                model_.Message(QEM_APPEND, ptr, static_cast<LPARAM>(bytes.size()));
                break;
            case 2: {
                std::vector<std::uint8_t> out(static_cast<std::size_t>(Pick(0, 800)));
                const auto n = model_.Message(QEM_GETDATA, reinterpret_cast<WPARAM>(out.data()),
                                              static_cast<LPARAM>(out.size()));
                const State& s = model_.state();
                EXPECT_EQ(n, out.empty()
                                 ? s.size
                                 : std::min<LRESULT>(static_cast<LRESULT>(out.size()), s.size));
                break;
            }
            case 3:
                model_.Message(QEM_SELECTION, Pick(0, 5) ? rangePtr : 0, Pick(0, 1));
                break;
            case 4:
                model_.Message(QEM_CHECKSUM, Pick(0, 1) ? rangePtr : 0, 0);
                break;
            case 5:
                model_.Message(QEM_CAPACITY,
                               static_cast<WPARAM>(Pick(0, 3) ? Pick(0, 2000) : EdgyIndex()),
                               Pick(0, 3) == 0);
                break;
            case 6:
                model_.Message(QEM_LAYOUT,
                               MakeWParam(static_cast<std::uint16_t>(Pick(0, 400)),
                                          static_cast<std::uint16_t>(Pick(0, 20))),
                               Pick(0, 3) == 0);
                break;
            case 7:
                model_.Message(QEM_READONLY, static_cast<WPARAM>(Pick(0, 5) == 0), Pick(0, 3) == 0);
                break;
            case 8:
                model_.Message(QEM_FONTHEIGHT, static_cast<WPARAM>(Pick(-40, 40)), 0);
                host_.cell = {Pick(1, 20), Pick(1, 30)};
                break;
            case 9: {
                static const std::uint16_t kCommands[] = {ID_EDIT_CLEAR, ID_EDIT_CLEAR_ALL,
                                                          ID_EDIT_COPY,  ID_EDIT_CUT,
                                                          ID_EDIT_PASTE, ID_EDIT_SELECT_ALL};
                model_.Message(WM_COMMAND, kCommands[Pick(0, 5)], 0);
                break;
            }
            case 10:
                model_.Message(Pick(QEM_COPY, QEM_CUT), 0, 0);
                break;
            case 11:
            case 12:
            case 13:
                model_.KeyDown(static_cast<Key>(Pick(0, static_cast<int>(Key::kOther))),
                               Pick(0, 4) == 0, Pick(0, 2) == 0);
                break;
            case 14:
            case 15:
            case 16: {
                static const char kChars[] = "0123456789abcdefABCDEFxyz \t\b\r";
                model_.Char(Pick(0, 9) == 0 ? static_cast<std::uint32_t>(Pick(0, 0x10FFFF))
                                            : static_cast<std::uint32_t>(kChars[Pick(0, 29)]));
                break;
            }
            case 17:
                model_.ButtonDown(Pick(-200, 1500), Pick(-200, 900), Pick(0, 3) == 0);
                break;
            case 18:
                model_.MouseMove(Pick(-32768, 32767), Pick(-32768, 32767), Pick(0, 4) != 0);
                break;
            case 19:
                model_.ButtonUp(Pick(-200, 1500), Pick(-200, 900));
                break;
            case 20:
                model_.Scroll(Pick(0, 1) == 1, Pick(0, 8), EdgyIndex());
                break;
            case 21:
                model_.Wheel(Pick(-480, 480));
                break;
            case 22:
                model_.SetClientSize(Pick(0, 2000), Pick(0, 1200));
                break;
            case 23:
                model_.SetFocus(Pick(0, 1) == 1);
                break;
            default:
                host_.clipboardOpens = Pick(0, 5) != 0;
                host_.clipboardHasData = Pick(0, 3) != 0;
                host_.clipboard.assign(bytes.begin(),
                                       bytes.begin() + std::min<long>(40, bytes.size()));
                break;
        }
    }

    // What a paint reads: the pane texts and the caret mark.
    void Paint() {
        model_.PrepareLayout();
        ComposePaneTexts(model_.state(), texts_);
        const State& s = model_.state();
        if (texts_.endByte > texts_.firstByte) {
            const int count = texts_.endByte - texts_.firstByte;
            EXPECT_EQ(texts_.hex.size(),
                      static_cast<std::size_t>(count) * 3 + count / s.bytesPerRow);
            EXPECT_LE(texts_.endByte, s.size);
        }
        ComputeMirrorCell(s);
        ComputeSelectionOutline(s);
    }

  private:
    Model& model_;
    MemoryHost& host_;
    std::mt19937 rng_;
    PaneTexts texts_;
};

TEST_F(QuadrelModel, RandomOperationsKeepEveryInvariant) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        MemoryHost h;
        Model m(h);
        m.SetClientSize(640, 400);
        RandomDriver driver(m, h, seed);
        for (int step = 0; step < 5000; ++step) {
            driver.Step();
            const char* broken = CheckInvariants(m.state());
            ASSERT_EQ(broken, nullptr) << broken << " after step " << step << " seed " << seed;
            if (step % 7 == 0) driver.Paint();
            // Sum and read-back agree with the stored bytes.
            std::uint32_t sum = 0;
            for (std::uint8_t b : m.state().data) sum += b;
            ASSERT_EQ(static_cast<std::uint32_t>(m.Message(QEM_CHECKSUM, 0, 0)), sum);
        }
    }
}

}  // namespace
}  // namespace quadrel::test
