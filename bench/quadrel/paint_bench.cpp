// Cost of one full paint of a 1920x1080 client area showing 64 KiB, and of composing the pane
// texts alone.
#include <benchmark/benchmark.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <cstdio>
#include <vector>

#include "platform/library_loader.h"
#include "platform/quadrel_messages.h"
#include "platform/window_class.h"
#include "quadrel/model/layout.h"
#include "quadrel/model/memory_host.h"
#include "quadrel/model/quadrel_model.h"

using namespace platform;

namespace {

std::vector<std::uint8_t> Image64K() {
    std::vector<std::uint8_t> bytes(65536);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 7));
    }
    return bytes;
}

void FullPaint(benchmark::State& state) {
    static bool loaded = LoadProgramLibrary("libquadrel.so") != nullptr;
    if (!loaded) {
        state.SkipWithError("libquadrel.so not found next to the benchmark");
        return;
    }
    QWidget* control = CreateWindowByClass(kQuadrelClassName, nullptr, 1506);
    auto* area = qobject_cast<QAbstractScrollArea*>(control);
    QuadrelColors grey{};
    grey.mask = 0x55;
    grey.addressBackground = grey.hexBackground = grey.characterBackground = grey.windowBackground =
        Rgb(200, 200, 200);
    SendMessage(control, QEM_COLORS, reinterpret_cast<WPARAM>(&grey), 0);
    SendMessage(control, QEM_FONTHEIGHT, 14, 0);
    SendMessage(control, QEM_LAYOUT, 0x00040000, 0);
    const auto bytes = Image64K();
    SendMessage(control, QEM_SETDATA, reinterpret_cast<WPARAM>(bytes.data()),
                static_cast<LPARAM>(bytes.size()));
    control->resize(1920, 1080);
    control->show();
    QApplication::processEvents();
    const QSize extra = control->size() - area->viewport()->size();
    control->resize(QSize(1920, 1080) + extra);
    QApplication::processEvents();
    QuadrelRange range{0x120, 0x5A3};
    SendMessage(control, QEM_SELECTION, reinterpret_cast<WPARAM>(&range), 0);
    QApplication::processEvents();

    QuadrelColors none{};  // a set with an empty mask: marks everything for redrawing
    for (auto _ : state) {
        SendMessage(control, QEM_COLORS, reinterpret_cast<WPARAM>(&none), 0);
        area->viewport()->repaint();
    }
    state.counters["client_w"] = area->viewport()->width();
    state.counters["client_h"] = area->viewport()->height();
    delete control;
}
BENCHMARK(FullPaint)->Unit(benchmark::kMillisecond);

void ComposeTexts(benchmark::State& state) {
    quadrel::MemoryHost host;
    host.cell = {8, 14};
    quadrel::Model model(host);
    model.SetClientSize(1920, 1080);
    model.Message(QEM_LAYOUT, 0x00040000, 0);
    const auto bytes = Image64K();
    model.Message(QEM_SETDATA, reinterpret_cast<WPARAM>(bytes.data()),
                  static_cast<LPARAM>(bytes.size()));
    model.Message(WM_VSCROLL, MakeWParam(SB_THUMBTRACK, 1000), 0);
    quadrel::PaneTexts texts;
    for (auto _ : state) {
        quadrel::ComposePaneTexts(model.state(), texts);
        benchmark::DoNotOptimize(texts.hex.data());
    }
    state.counters["rows"] = texts.rows;
}
BENCHMARK(ComposeTexts)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
