// The input thread and a session-like writer share one connection, both as busy as they can be; a
// server that parses every byte proves no message of one was split by a message of the other.
#include "InputRig.h"

#include "RecordingPresenter.h"
#include "engine/ExtendedClipboard.h"
#include "engine/KeyboardLayout.h"
#include "engine/MemoryTransport.h"
#include "engine/RfbProtocol.h"
#include "engine/SessionThread.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

using namespace dova;
using namespace latis_test;
namespace msg = dova::thread_messages;

namespace {
constexpr int HostKeyPresses = 3000;
constexpr int PointerClicks = 2000;
constexpr int CutTexts = 3000;
constexpr size_t CutTextLength = 300;
constexpr int EncodingsEvery = 7;  // the writer sends SetEncodings after every 7th update request
constexpr uint8_t FinalLevel = 99; // the writer's last message: a stream request with this level

// x 0, y 0, width 640, height 480.
const std::vector<uint8_t> FullFrame{0, 0, 0, 0, 2, 128, 1, 224};

std::string CutText(int index) {
    return std::string(CutTextLength, char('a' + index % 26));
}

struct Tally {
    int UpdateRequests = 0, Encodings = 0, KeyEvents = 0, PointerEvents = 0, CutTexts = 0;
    bool WriterDone = false;
    bool InputComplete() const {
        return KeyEvents == 2 * HostKeyPresses && PointerEvents == 2 * PointerClicks &&
               CutTexts == ::CutTexts;
    }
};

// Reads one client message and checks every field; false at the first byte that does not fit.
bool ParseOne(ScriptedPeer& peer, Tally& tally, std::string& fault) {
    const auto type = peer.Receive(1);
    if (type.size() != 1) {
        fault = "stream ended early";
        return false;
    }
    switch (type[0]) {
    case client_messages::FramebufferUpdateRequest: {
        auto body = peer.Receive(9);
        if (body.size() != 9 || body[0] > 1 || !std::equal(body.begin() + 1, body.end(), FullFrame.begin())) {
            fault = "update request";
            return false;
        }
        ++tally.UpdateRequests;
        return true;
    }
    case client_messages::SetEncodings: {
        std::vector<uint8_t> expected{0, 0, 8};
        // The codecs, then the extended clipboard and desktop size.
        for (uint32_t code : {1u, 1u, 5u, 0u, 4u, 2u, 0xC0A1E5CEu, 0xFFFFFF21u})
            AppendU32(expected, code);
        if (peer.Receive(expected.size()) != expected) {
            fault = "encodings";
            return false;
        }
        ++tally.Encodings;
        return true;
    }
    case client_messages::KeyEvent: {
        const auto body = peer.Receive(7);
        if (body.size() != 7 || body[0] > 1 || body[1] != 0 || body[2] != 0 || GetU32(&body[3]) != 0xFFC2) {
            fault = "key event";
            return false;
        }
        ++tally.KeyEvents;
        return true;
    }
    case client_messages::PointerEvent: {
        const auto body = peer.Receive(5);
        if (body.size() != 5 || body[0] > 1 || GetU16(&body[1]) != 639 || GetU16(&body[3]) != 479) {
            fault = "pointer event";
            return false;
        }
        ++tally.PointerEvents;
        return true;
    }
    case client_messages::ClientCutText: {
        const auto head = peer.Receive(7);
        if (head.size() != 7 || head[0] || head[1] || head[2] || GetU32(&head[3]) != CutTextLength) {
            fault = "cut text header";
            return false;
        }
        const auto text = peer.Receive(CutTextLength);
        const std::string expected = CutText(tally.CutTexts);
        if (text.size() != CutTextLength || !std::equal(text.begin(), text.end(), expected.begin())) {
            fault = "cut text body";
            return false;
        }
        ++tally.CutTexts;
        return true;
    }
    case client_messages::StreamRequest:
        if (peer.Receive(1) != Bytes({FinalLevel})) {
            fault = "final message";
            return false;
        }
        tally.WriterDone = true;
        return true;
    default:
        fault = "unknown message type " + std::to_string(type[0]);
        return false;
    }
}

// Keeps the input thread busy with every kind of message it writes.
void PostInput(CInputThread& input) {
    PointerRecord click;
    click.X = 639;
    click.Y = 479;
    click.Buttons = 1;
    click.Valid = PointerRecord::HasX | PointerRecord::HasY | PointerRecord::HasButtons;
    for (int i = 0; i < HostKeyPresses; ++i) {
        input.PostToThread(msg::VncKeyDown, 0x74, modifiers::Current);
        input.PostToThread(msg::VncKeyUp, 0x74, modifiers::Current);
        if (i < PointerClicks)
            input.PostToThread(msg::VncMouseUp, 0, 0, click); // press and release
        if (i < CutTexts)
            input.PostToThread(msg::VncClientCutText, 0, 0, CutText(i));
        if (i % 100 == 0)
            input.PostToThread(msg::VncFrameUpdate, 0, 0, RegionRecord{});
    }
}
} // namespace

TEST(InputInterleave, SessionAndInputMessagesStayWhole) {
    InputRig rig;
    std::atomic<bool> inputSeen{false};
    int requestsSent = 0;
    std::thread session([&] {
        // Keeps writing for as long as the input thread has anything left to send.
        CRfbProtocol protocol(rig.State, *rig.Socket);
        try {
            while (!inputSeen) {
                protocol.SendUpdateRequest(UpdateRegion{0, 0, 640, 480}, true);
                if (++requestsSent % EncodingsEvery == 0)
                    protocol.SendSetEncodings();
            }
            protocol.SendStreamRequest(FinalLevel);
        } catch (const CSimpleException&) {
            // the server side gave up after a fault
        }
    });
    std::thread host([&] { PostInput(*rig.Input); });

    Tally tally;
    std::string fault;
    while (!tally.WriterDone) {
        if (!ParseOne(rig.Peer, tally, fault))
            break;
        if (tally.InputComplete())
            inputSeen = true;
    }
    if (!fault.empty())
        rig.Peer.CloseServerSide(); // writers blocked on a full socket fail instead of waiting forever
    inputSeen = true;
    host.join();
    rig.Input->Stop();
    session.join();

    EXPECT_EQ(fault, "");
    EXPECT_TRUE(tally.InputComplete());
    EXPECT_EQ(tally.UpdateRequests, requestsSent);
    EXPECT_EQ(tally.Encodings, requestsSent / EncodingsEvery);
    EXPECT_TRUE(rig.Peer.Drain(std::chrono::milliseconds(0)).empty()) << "nothing left over";
    std::unique_ptr<CSimpleException> reported;
    EXPECT_TRUE(!fault.empty() || !rig.State.TakeException(reported));
}

// The same with the real session thread: the server answers every update request with an empty
// update, so the session keeps asking while the input thread writes.
TEST(InputInterleave, RealSessionThreadAndInputThread) {
    InputRig rig;
    latis_test::RecordingPresenter presenter;
    CFrameBuffer frame(&presenter);
    rig.State.SetRequestedPixelFormat(32);
    rig.State.CurrentPixelFormat = rig.State.RequestedPixelFormat;
    rig.State.FrameWidth = 640;
    rig.State.FrameHeight = 480;
    frame.Create(640, 480, 32);
    rig.State.FrameBuffer = &frame;
    rig.State.State = states::Dispatching;
    auto session = std::make_unique<CSessionThread>(rig.State);
    session->Start();
    std::thread host([&] { PostInput(*rig.Input); });

    Tally tally;
    std::string fault;
    int updatesSent = 0;
    // Each update brings exactly one more request; once the input is all seen, no more updates.
    while (!tally.InputComplete() || tally.UpdateRequests < updatesSent + 1) {
        const int requestsBefore = tally.UpdateRequests;
        if (!ParseOne(rig.Peer, tally, fault))
            break;
        if (tally.UpdateRequests > requestsBefore && !tally.InputComplete()) {
            rig.Peer.Send(Bytes({0, 0, 0, 0})); // FramebufferUpdate with no rectangles
            ++updatesSent;
        }
    }
    host.join();
    rig.Socket->CloseByOwner(true); // as the control stops: the session's blocked receive ends quietly
    session.reset();
    rig.Input->Stop();
    rig.State.FrameBuffer = nullptr;

    EXPECT_EQ(fault, "");
    EXPECT_TRUE(tally.InputComplete());
    EXPECT_EQ(tally.UpdateRequests, updatesSent + 1);
    EXPECT_GT(updatesSent, 0);
    std::unique_ptr<CSimpleException> reported;
    EXPECT_TRUE(!fault.empty() || !rig.State.TakeException(reported));
}

namespace {
// Keeps each message whole; calls BeforeProvide (once) when a provide of text starts, before its bytes.
class ProvideHookSink : public IByteSink {
public:
    std::function<void()> BeforeProvide;

    void Write(const void* buffer, size_t length) override {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        const uint32_t flags = length >= 12 ? GetU32(bytes + 8) : 0;
        if ((flags & clipboard_flags::Provide) && !(flags & clipboard_flags::Caps) && BeforeProvide)
            std::exchange(BeforeProvide, nullptr)();
        std::lock_guard<std::mutex> hold(Mutex);
        Flags.push_back(flags);
    }
    CLockable& WriteLock() override { return Writing; }
    std::vector<uint32_t> Written() {
        std::lock_guard<std::mutex> hold(Mutex);
        return Flags;
    }

private:
    CLockable Writing;
    std::mutex Mutex;
    std::vector<uint32_t> Flags;
};

// An extended server message after its 8-byte header: flags and data.
std::vector<uint8_t> ExtendedBody(uint32_t flags, const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> body(4 + data.size());
    PutU32(body.data(), flags);
    std::copy(data.begin(), data.end(), body.begin() + 4);
    return body;
}
} // namespace

// The server asks for the text while the operator copies anew: a provide of the older text must not
// reach the server after the notice of the newer one, or a server that keeps what it was given (Xvnc
// does) keeps the older text for good.
TEST(ExtendedClipboardOrder, ANewerLocalTextIsAnnouncedAfterTheProvideOfTheOlder) {
    using namespace clipboard_flags;
    CViewerState state;
    CMemorySource input;
    ProvideHookSink output;
    CRfbProtocol protocol(state, input, output);
    CExtendedClipboard& clipboard = state.Clipboard;
    const auto serverSays = [&](const std::vector<uint8_t>& body) {
        input.Reset(body.data(), body.size());
        clipboard.ReadServerMessage(protocol, uint32_t(body.size()), true);
    };
    const std::vector<uint8_t> caps = ExtendedBody(Text | Caps | Request | Notify | Provide, {0, 0, 16, 0});
    serverSays(caps);
    clipboard.LocalTextChanged(protocol, "older");

    std::thread operatorCopies;
    output.BeforeProvide = [&] {
        std::promise<void> done;
        auto copied = done.get_future();
        operatorCopies = std::thread([&clipboard, &protocol, done = std::move(done)]() mutable {
            clipboard.LocalTextChanged(protocol, "newer");
            done.set_value();
        });
        copied.wait_for(std::chrono::milliseconds(300)); // the copy may wait for the provide to go out
    };
    const std::vector<uint8_t> request = ExtendedBody(Request | Text);
    serverSays(request);
    operatorCopies.join();

    const std::vector<uint32_t> written = output.Written();
    ASSERT_EQ(written.size(), 4u);
    EXPECT_EQ(written[2], Provide | Text);
    EXPECT_EQ(written[3], Notify | Text) << "the newer text announced last, so the server asks again";
}
