#include "VncClientPeer.h"

#include "screens/BenchScreens.h"

#include <rfb/rfbclient.h>

#include <cstring>
#include <ctime>

namespace latis_bench {

namespace {

int UpdatesRead = 0;

void CountUpdate(rfbClient*) {
    ++UpdatesRead;
}

void Quiet(const char*, ...) {}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

bool ReadUpdates(rfbClient* client, int count) {
    const int target = UpdatesRead + count;
    while (UpdatesRead < target) {
        if (WaitForMessage(client, 5'000'000) <= 0 || !HandleRFBServerMessage(client))
            return false;
    }
    return true;
}

} // namespace

PeerResult RunVncClientPeer(uint16_t port, int bpp, const char* encoding, int warmup, int frames) {
    PeerResult result;
    rfbClientLog = rfbClientErr = Quiet;
    rfbClient* client = bpp == 16 ? rfbGetClient(5, 3, 2) : rfbGetClient(8, 3, 4);
    // The bench's formats: little-endian, 5-5-5 or 8-8-8 with red highest.
    rfbPixelFormat& f = client->format;
    f.bigEndian = 0;
    f.trueColour = 1;
    f.depth = bpp == 16 ? 15 : 24;
    f.redMax = f.greenMax = f.blueMax = bpp == 16 ? 31 : 255;
    f.redShift = bpp == 16 ? 10 : 16;
    f.greenShift = bpp == 16 ? 5 : 8;
    f.blueShift = 0;
    client->appData.encodingsString = encoding;
    client->serverHost = strdup("127.0.0.1");
    client->serverPort = port;
    client->FinishedFrameBufferUpdate = CountUpdate;
    UpdatesRead = 0;
    if (!rfbInitClient(client, nullptr, nullptr))
        return result; // rfbInitClient frees the client when it fails
    if (ReadUpdates(client, warmup)) {
        const double start = ThreadCpuMs();
        result.Ok = ReadUpdates(client, frames);
        result.CpuMs = ThreadCpuMs() - start;
    }
    if (result.Ok && client->width == ScreenWidth && client->height == ScreenHeight) {
        const int bytes = bpp / 8;
        result.Pixels.resize(size_t(ScreenWidth) * ScreenHeight);
        for (size_t i = 0; i < result.Pixels.size(); ++i) {
            uint32_t v = 0;
            std::memcpy(&v, client->frameBuffer + i * size_t(bytes), size_t(bytes));
            result.Pixels[i] = v & (bpp == 16 ? 0x7FFFu : 0xFFFFFFu);
        }
    }
    free(client->frameBuffer);
    client->frameBuffer = nullptr;
    rfbClientCleanup(client);
    return result;
}

} // namespace latis_bench
