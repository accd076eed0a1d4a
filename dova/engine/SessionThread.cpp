#include "SessionThread.h"

#include "../base/EngineExceptions.h"
#include "CoolSocket.h"
#include "ServerInit.h"
#include "StreamCoding.h"
#include "ViewerState.h"

#include <new>

namespace dova {

CSessionThread::CSessionThread(CViewerState& state) : State(state), FramesEvent(state.RequestFrames.load()) {
    CLockGuard hold(State);
    Region = UpdateRegion{0, 0, State.FrameWidth, State.FrameHeight};
    State.Session = this;
    State.RequestHeld = false; // a request owed by an earlier session is not this one's
}

CSessionThread::~CSessionThread() {
    Stop(); // Run uses this object's fields: end it before they go
    CSessionThread* self = this;
    State.Session.compare_exchange_strong(self, nullptr);
}

void CSessionThread::RequestStop() {
    // The stop flag first, so a wait woken below sees it and leaves instead of sending a request.
    StopEvent.Set();
    DelayEvent.Set();
    FramesEvent.Set();
    CWorkerThread::RequestStop();
}

void CSessionThread::Stop() {
    RequestStop();
    CWorkerThread::Stop();
    // The waits' events follow their properties again, should the thread be started once more.
    DelayEvent.Reset();
    SetFramesAllowed(State.RequestFrames);
}

UpdateRegion CSessionThread::RequestRegion() const {
    CLockGuard hold(RegionLock);
    return Region;
}

void CSessionThread::Run() {
    Socket = State.Socket.load();
    try {
        if (!Socket)
            throw CErrorException(codes::SocketClosed, texts::SocketClosed);
        Dispatch(*Socket);
    } catch (const CQuietException&) {
        // The owner closed the connection: nothing to tell.
    } catch (const CSimpleException& failure) {
        Fail(failure);
    } catch (const std::bad_alloc&) {
        Fail(CErrorException(codes::Validity, "Not enough memory."));
    }
    Protocol.reset();
}

void CSessionThread::Dispatch(CCoolSocket& socket) {
    Protocol = std::make_unique<CRfbProtocol>(State, socket);
    Protocol->Statistics = Statistics;
    CServerMessageReader reader(*Protocol, *this);
    {
        CLockGuard hold(RegionLock);
        Region = reader.RequestRegion();
    }
    reader.RequestFirstUpdate();
    while (!StopRequested()) {
        HonourSuspend();
        if (!reader.ReadMessage())
            break;
        CLockGuard hold(RegionLock);
        Region = reader.RequestRegion();
    }
}

void CSessionThread::Fail(const CSimpleException& failure) {
    // Reported while State still says connected, so the host raises it and stops; closing the socket
    // (which sets State to 0) comes after.
    State.ReportException(failure);
    if (failure.Level == ExceptionLevel::Error && Socket)
        Socket->CloseByOwner(true);
}

bool CSessionThread::AwaitFramesAllowed() {
    if (!State.RequestFrames)
        FramesEvent.Wait();
    return !StopRequested();
}

bool CSessionThread::AwaitDelay(std::chrono::milliseconds rest) {
    DelayEvent.WaitFor(rest);
    DelayEvent.Reset();
    return !StopRequested();
}

void CSessionThread::ReadServerInit() {
    dova::ReadServerInit(State, *Socket);
}

void CSessionThread::StartCodedStream() {
    HandleStreamStart(*Socket);
}

void CSessionThread::SwitchStreamCoding(const uint8_t message[4]) {
    HandleStreamCoding(State, *Socket, message);
}

} // namespace dova
