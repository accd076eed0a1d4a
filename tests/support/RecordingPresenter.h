#pragma once
// A presenter that records which frame areas were handed to it, in order.

#include "framebuffer/FrameBuffer.h"

#include <mutex>
#include <vector>

namespace latis_test {

struct PresentedArea {
    int X, Y, Width, Height;
    bool operator==(const PresentedArea&) const = default;
};

class RecordingPresenter : public dova::IFramePresenter {
public:
    void Present(const dova::CFrameBuffer&, int x, int y, int width, int height) override {
        std::lock_guard<std::mutex> hold(Mutex);
        Areas.push_back({x, y, width, height});
    }
    std::vector<PresentedArea> Presented() {
        std::lock_guard<std::mutex> hold(Mutex);
        return Areas;
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(Mutex);
        Areas.clear();
    }

private:
    std::mutex Mutex;
    std::vector<PresentedArea> Areas;
};

} // namespace latis_test
