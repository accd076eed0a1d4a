#include "ConnectThread.h"

#include "../base/EngineExceptions.h"
#include "Handshake.h"
#include "ViewerState.h"

#include <new>

namespace dova {

CConnectThread::CConnectThread(CViewerState& state) : State(state) {}

CConnectThread::~CConnectThread() {
    // Run uses State: end the thread before this object's members go.
    Stop();
}

void CConnectThread::Run() {
    try {
        RunHandshake(State);
    } catch (const CQuietException&) {
        // The owner closed the connection: nothing to tell.
    } catch (const CSimpleException& failure) {
        State.ReportException(failure);
    } catch (const std::bad_alloc&) {
        State.ReportException(CErrorException(0, "Out of memory."));
    }
}

} // namespace dova
