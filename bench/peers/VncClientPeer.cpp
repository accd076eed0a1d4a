// vncclient_peer: the peer client for the side-by-side decode benchmark, built on Debian's libvncclient.
// It connects to 127.0.0.1:PORT, asks for Hextile in the same 16 or 32 bpp layout our engine asks for
// (so the server sends identical bytes), takes N updates and prints the process CPU per update.
// usage: vncclient_peer PORT BPP UPDATES
#include <rfb/rfbclient.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long Finished = 0;

void OnFinished(rfbClient*) {
    ++Finished;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vncclient_peer PORT BPP UPDATES\n");
        return 2;
    }
    const int port = std::atoi(argv[1]), bpp = std::atoi(argv[2]);
    const long updates = std::atol(argv[3]);
    if ((bpp != 16 && bpp != 32) || updates <= 0)
        return 2;
    rfbClient* client = bpp == 16 ? rfbGetClient(5, 3, 2) : rfbGetClient(8, 3, 4);
    // The engine's layouts: 16 bpp is 5-5-5 with red at 10; 32 bpp has red at 16.
    client->format.redShift = bpp == 16 ? 10 : 16;
    client->format.greenShift = bpp == 16 ? 5 : 8;
    client->format.blueShift = 0;
    client->appData.encodingsString = "hextile";
    client->appData.useRemoteCursor = FALSE;
    client->FinishedFrameBufferUpdate = OnFinished;
    client->serverHost = strdup("127.0.0.1");
    client->serverPort = port;
    int noArguments = 0;
    if (!rfbInitClient(client, &noArguments, nullptr)) // frees the client on failure
        return 1;
    const double start = CpuSeconds();
    long first = -1;
    double firstCpu = 0;
    while (Finished < updates) {
        if (WaitForMessage(client, 5000000) <= 0 || !HandleRFBServerMessage(client)) {
            std::fprintf(stderr, "vncclient_peer: connection ended after %ld updates\n", Finished);
            break;
        }
        if (first < 0 && Finished >= 1) { // the first update is paid with set-up; count from the second
            first = Finished;
            firstCpu = CpuSeconds();
        }
    }
    const double cpu = CpuSeconds() - firstCpu;
    const long counted = Finished - first;
    std::printf("libvncclient: %ld updates at %d bpp, %.3f ms CPU per update (%.2f s CPU overall)\n", counted,
                bpp, counted > 0 ? cpu * 1e3 / double(counted) : 0.0, CpuSeconds() - start);
    free(client->frameBuffer);
    rfbClientCleanup(client);
    return 0;
}
