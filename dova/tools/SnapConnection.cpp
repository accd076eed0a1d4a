#include "SnapConnection.h"

#include "engine/TrustStore.h"

#include <algorithm>

namespace dova_snap {

using namespace dova;

void SnapHost::Post(HostMessage message, uint32_t wParam, uint32_t lParam) {
    {
        std::lock_guard<std::mutex> hold(Mutex);
        Queue.push_back({message, wParam, lParam});
    }
    Changed.notify_all();
}

bool SnapHost::Next(HostMessage& message, uint32_t& wParam, uint32_t& lParam,
                    std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> hold(Mutex);
    if (!Changed.wait_for(hold, limit, [this] { return !Queue.empty(); }))
        return false;
    message = Queue.front().Message;
    wParam = Queue.front().WParam;
    lParam = Queue.front().LParam;
    Queue.pop_front();
    return true;
}

SnapConnection::SnapConnection(const SnapOptions& options) : Settings(options) {
    CLockGuard hold(Viewer);
    Viewer.Server = Settings.Host;
    Viewer.Port = Settings.Port;
    Viewer.Socket = &Connection;
    Viewer.Encryption.Policy = EncryptionPolicy(Settings.Encryption);
    Viewer.Encryption.UserName = Settings.User;
    Viewer.Encryption.KnownCertificatesFile =
        Settings.KnownCertificates.empty() ? CTrustStore::DefaultPath() : Settings.KnownCertificates;
    Viewer.Encryption.AcceptNew = Settings.AcceptNew;
    if (!Settings.Encodings.empty()) {
        Viewer.Codecs.fill(-1);
        std::copy(Settings.Encodings.begin(), Settings.Encodings.end(), Viewer.Codecs.begin());
    }
    Viewer.QualityLevel = Settings.QualityLevel;
    Viewer.CompressLevel = Settings.CompressLevel;
    // After the codecs: with Tight or ZRLE among them the 32-bit format asks for depth 24.
    Viewer.SetRequestedPixelFormat(Settings.BitsPerPixel);
    Viewer.CurrentPixelFormat = Viewer.RequestedPixelFormat;
}

SnapConnection::~SnapConnection() {
    // As a viewer stops: close first so blocked reads end, release a password wait, then join.
    Connection.CloseByOwner(true);
    Viewer.CancelPasswordWait();
    ConnectThread.reset();
}

bool SnapConnection::HandleCommon(HostMessage message) {
    switch (message) {
    case HostMessage::Password:
        if (Settings.HasPassword) {
            CLockGuard hold(Viewer);
            Viewer.Password = Settings.Password;
        }
        Viewer.PasswordAnswered();
        return true;
    case HostMessage::Exception: {
        std::unique_ptr<CSimpleException> failure;
        while (Viewer.TakeException(failure)) {
            if (failure->Level == ExceptionLevel::Error)
                throw CErrorException(failure->Code, failure->Message);
            if (failure->Level == ExceptionLevel::Warning)
                throw CWarningException(failure->Code, failure->Message);
        }
        return true;
    }
    case HostMessage::DataTransfer:
        return true;
    default:
        return false;
    }
}

void SnapConnection::Connect(std::chrono::milliseconds limit) {
    ConnectThread = std::make_unique<CConnectThread>(Viewer);
    ConnectThread->Start();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        HostMessage message;
        uint32_t wParam, lParam;
        if (left.count() <= 0 || !Poster.Next(message, wParam, lParam, left))
            throw CErrorException(codes::SocketConnect, "Timed out waiting for the server.");
        if (message == HostMessage::Connected) {
            ConnectThread->Stop();
            return;
        }
        HandleCommon(message);
    }
}

} // namespace dova_snap
