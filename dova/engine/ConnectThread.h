#pragma once
// CConnectThread: opens the connection and runs the handshake, then ends. Success is posted to the
// host as HostMessage::Connected; failures are reported through the state's exception queue.

#include "WorkerThread.h"

namespace dova {

class CViewerState;

class CConnectThread : public CWorkerThread {
public:
    explicit CConnectThread(CViewerState& state);
    ~CConnectThread() override;

protected:
    void Run() override;

private:
    CViewerState& State;
};

} // namespace dova
