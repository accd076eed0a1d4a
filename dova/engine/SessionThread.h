#pragma once
// CSessionThread: reads and dispatches server messages for as long as the viewer is connected, and
// keeps asking for screen updates, paced by FrameUpdateDelay and gated by RequestFrames.
//
// Failures end the thread: an error is reported first (while State still says connected, so the host
// raises Error and stops) and the socket is closed afterwards; a warning is reported; a quiet
// exception (the owner closed the connection) ends it silently.

#include "../base/EngineExceptions.h"
#include "RfbProtocol.h"
#include "ServerMessageReader.h"
#include "WorkerThread.h"

#include <atomic>
#include <memory>

namespace dova {

class CViewerState;
class CCoolSocket;

class CSessionThread : public CWorkerThread, private ISessionLink {
public:
    // Stores itself in state.Session; RequestRegion starts as the whole frame. The socket is
    // state.Socket when the thread starts running.
    explicit CSessionThread(CViewerState& state);
    // Ends both waits, stops the thread and clears state.Session if it still points here.
    ~CSessionThread() override;

    // Also ends a wait for FramesEvent or DelayEvent. Close the socket first if the thread may be
    // blocked in a receive.
    void Stop() override;
    void RequestStop() override;

    // Interrupts the pacing wait (a lower FrameUpdateDelay was set).
    void WakeFromDelay() { DelayEvent.Set(); }
    // Follows the RequestFrames property: true releases a held request at once.
    void SetFramesAllowed(bool allowed) {
        if (allowed)
            FramesEvent.Set();
        else
            FramesEvent.Reset();
    }

    // Counts what the session decodes; set before Start (not owned, must outlive the thread).
    void SetStatistics(DecodeStatistics* statistics) { Statistics = statistics; }

    // The region of every update request; the whole frame, again after a server re-initialisation.
    UpdateRegion RequestRegion() const;

protected:
    void Run() override;

private:
    bool AwaitFramesAllowed() override;
    bool AwaitDelay(std::chrono::milliseconds rest) override;
    void ReadServerInit() override;
    void StartCodedStream() override;
    void SwitchStreamCoding(const uint8_t message[4]) override;

    void Dispatch(CCoolSocket& socket);
    void Fail(const CSimpleException& failure);

    CViewerState& State;
    CManualEvent DelayEvent;
    CManualEvent FramesEvent;
    std::unique_ptr<CRfbProtocol> Protocol;
    CCoolSocket* Socket = nullptr;
    DecodeStatistics* Statistics = nullptr;
    mutable CLockable RegionLock;
    UpdateRegion Region;
};

} // namespace dova
