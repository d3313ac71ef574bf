// The preview's view on any drawing and any gestures: the part in view lies within the drawing
// and the target within the pane's picture area, and its rendering from any stream has the
// target's size, whatever the stream holds (a damaged one says where it stopped). The same stream
// decoded once, in steps of any size within any memory budget, renders the same pixels once it
// has decoded as far as the stream goes, and keeps no more than the budget.
#include "core/view/DecodedDrawing.h"
#include "core/view/DrawingView.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cmath>

using namespace scanleaf::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    CalsImageInfo info;
    info.type1 = info.sizeKnown = true;
    info.width = in.ConsumeIntegralInRange<std::uint32_t>(1, 3000);
    info.height = in.ConsumeIntegralInRange<std::uint32_t>(1, 3000);
    static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
    const auto& o = kOrientations[in.ConsumeIntegralInRange<int>(0, 7)];
    info.orientationKnown = in.ConsumeBool();
    info.pelPath = o[0], info.lineProgression = o[1];
    const Orientation upright = ShownAs(info, info.width, info.height);
    DrawingView view;
    view.SetDrawing(upright.ShownWidth(), upright.ShownHeight());
    view.Layout(in.ConsumeIntegralInRange<int>(-10, 1500), in.ConsumeIntegralInRange<int>(-10, 1500),
                in.ConsumeIntegralInRange<int>(0, 800), in.ConsumeIntegralInRange<int>(0, 800));
    for (int gesture = in.ConsumeIntegralInRange<int>(0, 6); gesture > 0; --gesture) {
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: view.ZoomAbout(in.ConsumeIntegralInRange<int>(-100, 1600), in.ConsumeIntegralInRange<int>(-100, 1600),
                               in.ConsumeFloatingPointInRange<double>(0.01, 100)); break;
        case 1: view.Pan(in.ConsumeIntegralInRange<int>(-5000, 5000), in.ConsumeIntegralInRange<int>(-5000, 5000)); break;
        default: view.Fit(); break;
        }
    }
    const DrawingView::Visible v = view.InView();
    if (v.target.width == 0) return 0;
    FUZZ_CHECK(v.x0 < v.x1 && v.x1 <= upright.ShownWidth() && v.y0 < v.y1 && v.y1 <= upright.ShownHeight());
    // Whole pels: the target reaches past the area by less than a pel at its edges.
    const ViewRect& area = view.PictureArea();
    const int pel = int(std::ceil(view.Scale())) + 1;
    FUZZ_CHECK(v.target.x > area.x - pel && v.target.y > area.y - pel);
    FUZZ_CHECK(v.target.x + v.target.width < area.x + area.width + pel && v.target.y + v.target.height < area.y + area.height + pel);
    // Up to the product's own budget (past what these sizes ever need, so that it is met too).
    const std::uint64_t budget = in.ConsumeIntegralInRange<std::uint64_t>(0, DecodedDrawing::kMemoryBudget);
    const std::uint64_t step = in.ConsumeIntegralInRange<std::uint64_t>(0, 1u << 16);
    const std::vector<std::uint8_t> stream = in.ConsumeRemainingBytes<std::uint8_t>();
    const std::uint32_t w = std::uint32_t(std::min(v.target.width, 600)), h = std::uint32_t(std::min(v.target.height, 600));
    const RenderedView rendered = RenderView(info, stream.data(), stream.size(), v.x0, v.y0, v.x1, v.y1, w, h);
    FUZZ_CHECK(rendered.grey.size() == std::size_t(w) * h);
    FUZZ_CHECK(rendered.damagedLine <= info.height);
    DecodedDrawing drawing(info, stream.data(), stream.size(), budget);
    while (drawing.Decode(step)) {
    }
    FUZZ_CHECK(drawing.BytesKept() <= budget);
    FUZZ_CHECK(drawing.Lines() <= info.height);
    const RenderedView decoded = drawing.Render(v.x0, v.y0, v.x1, v.y1, w, h);
    FUZZ_CHECK(decoded.grey.size() == std::size_t(w) * h);
    if (drawing.Stopped() != DecodedDrawing::Stop::Memory) {
        FUZZ_CHECK(decoded.grey == rendered.grey);
        FUZZ_CHECK(decoded.damagedLine == (drawing.Stopped() == DecodedDrawing::Stop::Whole ? info.height : drawing.Lines()));
    }
    return 0;
}
