#pragma once
// CInputThread: turns local and host input into KeyEvent, PointerEvent and ClientCutText messages.
// Runs beside the session thread at the lowest priority; writes only, under the socket's write lock.

#include "RfbProtocol.h"
#include "WorkerThread.h"

#include <array>
#include <atomic>
#include <memory>

namespace dova {

class CViewerState;

class CInputThread : public CWorkerThread {
public:
    explicit CInputThread(CViewerState& state);
    ~CInputThread() override;

    // The user-interface thread copies a snapshot of the local keyboard here (under KeyboardLock)
    // right before it posts any key message.
    CLockable KeyboardLock;
    std::array<uint8_t, 256> KeyboardState{};
    std::atomic<uint32_t> MoveToken{0};

protected:
    void Run() override;
    int OnThreadMessage(ThreadMessage& message) override;

private:
    CViewerState& State;
    std::unique_ptr<CRfbProtocol> Protocol;
};

} // namespace dova
