// What a screen reader costs the member's windows: the face of the shipped main window
// (every element shown, the largest face) described once, as the accessible objects read
// it after each change that repaints the window.
#include "dulib/Accessible.h"
#include "dulib/Skin.h"
#include "dulib/View.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace {

void BM_DescribeMainWindow(benchmark::State& state)
{
    SkinManager* manager = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
    auto* skin = static_cast<dulib::Skin*>(manager);
    const dulib::LayoutDesc* layout = skin->FindLayout("MainFrame_Window");
    if (!layout) {
        state.SkipWithError("no main window layout");
        dulib::FreeSkin(manager);
        return;
    }
    {
        dulib::View view(*skin, *layout, nullptr);
        std::function<void(dulib::Element&)> showAll = [&](dulib::Element& e) {
            e.Show(1);
            for (auto& c : e.children()) showAll(*c);
        };
        showAll(*view.root());
        std::size_t nodes = 0;
        for (auto _ : state) {
            const platform::AccessibleFace face = dulib::DescribeView(view);
            nodes = face.nodes.size();
            benchmark::DoNotOptimize(face.nodes.data());
        }
        state.counters["nodes"] = static_cast<double>(nodes);
    }
    dulib::FreeSkin(manager);
}
BENCHMARK(BM_DescribeMainWindow)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
