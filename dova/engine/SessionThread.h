#pragma once
// CSessionThread: reads and dispatches server messages for as long as the viewer is connected, and
// keeps asking for screen updates, paced by FrameUpdateDelay and gated by RequestFrames.

#include "RfbProtocol.h"
#include "WorkerThread.h"

#include <memory>

namespace dova {

class CViewerState;

class CSessionThread : public CWorkerThread {
public:
    // Stores itself in state.Session; RequestRegion starts as the whole frame.
    explicit CSessionThread(CViewerState& state);
    ~CSessionThread() override;

    // Interrupts the pacing wait (a lower FrameUpdateDelay was set).
    void WakeFromDelay() { DelayEvent.Set(); }
    // Follows the RequestFrames property.
    void SetFramesAllowed(bool allowed) {
        if (allowed)
            FramesEvent.Set();
        else
            FramesEvent.Reset();
    }

    UpdateRegion RequestRegion;

protected:
    void Run() override;

private:
    CViewerState& State;
    CManualEvent DelayEvent;
    CManualEvent FramesEvent;
    std::unique_ptr<CRfbProtocol> Protocol;
};

} // namespace dova
