// The input thread and a session-like writer share one connection, both as busy as they can be; a
// server that parses every byte proves no message of one was split by a message of the other.
#include "InputRig.h"

#include "engine/KeyboardLayout.h"
#include "engine/RfbProtocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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
    case client_messages::FramebufferUpdateRequest:
        if (peer.Receive(9) != Bytes({1, 0, 0, 0, 0, 2, 128, 1, 224})) {
            fault = "update request";
            return false;
        }
        ++tally.UpdateRequests;
        return true;
    case client_messages::SetEncodings: {
        std::vector<uint8_t> expected{0, 0, 6};
        for (int code : {1, 1, 5, 0, 4, 2})
            AppendU32(expected, uint32_t(code));
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
    std::thread host([&] {
        PointerRecord click;
        click.X = 639;
        click.Y = 479;
        click.Buttons = 1;
        click.Valid = PointerRecord::HasX | PointerRecord::HasY | PointerRecord::HasButtons;
        for (int i = 0; i < HostKeyPresses; ++i) {
            rig.Input->PostToThread(msg::VncKeyDown, 0x74, modifiers::Current);
            rig.Input->PostToThread(msg::VncKeyUp, 0x74, modifiers::Current);
            if (i < PointerClicks)
                rig.Input->PostToThread(msg::VncMouseUp, 0, 0, click); // press and release
            if (i < CutTexts)
                rig.Input->PostToThread(msg::VncClientCutText, 0, 0, CutText(i));
        }
    });

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
