// The viewer's surface without a server: properties, server-text splitting, methods that need a
// session, the text cipher and the library's entry point.
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace dova;
using latis_test::ViewerRig;

namespace {
QString Text(VNCStatus (CVNCViewer::*getter)(QString*), CVNCViewer& viewer) {
    QString value;
    EXPECT_EQ((viewer.*getter)(&value), VNC_S_OK);
    return value;
}
} // namespace

TEST(ViewerProperties, DefaultsAsDocumented) {
    ViewerRig rig;
    uint32_t colour = 0;
    rig.Viewer->get_BackColor(&colour);
    EXPECT_EQ(colour, 0xFFFFFFu);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_Port), 5900);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_MousePointer), 201);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_Scrollbars), 3);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_StretchMode), 4);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_Alignment), 16);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_AutoScrollDelay), 800);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_AutoScrollBand), 10);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScreenEdgeDelay), 2000);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_MouseTrapModifers), 1);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), 0);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_FrameWidth), 0);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewLeft), 0);
    int16_t bits = 0;
    rig.Viewer->get_BitsPerPixel(&bits);
    EXPECT_EQ(bits, 16);
    VNCBool flag = 0;
    rig.Viewer->get_Shared(&flag);
    EXPECT_EQ(flag, VNC_TRUE);
    rig.Viewer->get_Stretch(&flag);
    EXPECT_EQ(flag, VNC_FALSE);
    int32_t slot = 0;
    rig.Viewer->get_Codecs(2, &slot);
    EXPECT_EQ(slot, 5) << "Hextile third";
}

TEST(ViewerProperties, BooleansKeepTheSixteenBitValueGiven) {
    ViewerRig rig;
    rig.Viewer->put_RelayKeys(1);
    VNCBool value = 0;
    rig.Viewer->get_RelayKeys(&value);
    EXPECT_EQ(value, 1);
}

TEST(ViewerProperties, DisplayAndServerAddress) {
    ViewerRig rig;
    CVNCViewer& v = *rig.Viewer;
    v.put_Port(5899);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_Display), 0);
    v.put_Display(2);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_Port), 5902);
    v.put_Server(QStringLiteral("host"));
    v.put_Port(5901);
    EXPECT_EQ(Text(&CVNCViewer::get_ServerAddress, v), QStringLiteral("host:5901"));
    v.put_ServerAddress(QStringLiteral("other:3"));
    EXPECT_EQ(Text(&CVNCViewer::get_Server, v), QStringLiteral("other"));
    EXPECT_EQ(rig.Int(&CVNCViewer::get_Port), 5903);
}

TEST(ViewerProperties, ServerTextSplitting) {
    ViewerRig rig;
    CVNCViewer& v = *rig.Viewer;
    struct Case {
        const char16_t* Text;
        int Port;
    } cases[] = {{u"pc1:1", 5901}, {u"pc1:D1", 5901}, {u"pc1:d2", 5902}, {u"pc1:P80", 80},
                 {u"pc1:p81", 81}, {u"pc1:99", 5999}, {u"pc1:100", 100}, {u"pc1:5902", 5902}};
    for (const Case& c : cases) {
        v.put_Server(QString::fromUtf16(c.Text));
        EXPECT_EQ(Text(&CVNCViewer::get_Server, v), QStringLiteral("pc1"))
            << QString::fromUtf16(c.Text).toStdString();
        EXPECT_EQ(rig.Int(&CVNCViewer::get_Port), c.Port) << QString::fromUtf16(c.Text).toStdString();
    }
    v.put_Port(1234);
    v.put_Server(QStringLiteral("plain"));
    EXPECT_EQ(rig.Int(&CVNCViewer::get_Port), 1234) << "no colon: the port stays";
    v.put_Server(QString());
    EXPECT_TRUE(Text(&CVNCViewer::get_Server, v).isEmpty());

    // A port beyond 65535 would wrap to another one: refused, the address stays as it was.
    v.put_Server(QStringLiteral("pc1:5902"));
    EXPECT_EQ(v.put_Server(QStringLiteral("pc2:P70000")), VNC_E_INVALIDARG);
    EXPECT_EQ(v.put_Server(QStringLiteral("pc2:D60000")), VNC_E_INVALIDARG);
    EXPECT_EQ(v.put_Port(70000), VNC_E_INVALIDARG);
    EXPECT_EQ(v.put_Display(60000), VNC_E_INVALIDARG);
    EXPECT_EQ(Text(&CVNCViewer::get_ServerAddress, v), QStringLiteral("pc1:5902"));
    VNCVariant result;
    EXPECT_EQ(v.Connect(VNCVariant(QStringLiteral("pc2:P70000")), VNCVariant(), VNCVariant(), VNCVariant(),
                        &result),
              VNC_E_INVALIDARG);
    EXPECT_EQ(result.ToInt32(), -1);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateNotConnected);
}

TEST(ViewerProperties, CodecIndexOutsideTheListIsIgnored) {
    ViewerRig rig;
    EXPECT_EQ(rig.Viewer->put_Codecs(16, 7), VNC_S_OK);
    EXPECT_EQ(rig.Viewer->put_Codecs(-1, 7), VNC_S_OK);
    int32_t value = 42;
    rig.Viewer->get_Codecs(16, &value);
    EXPECT_EQ(value, 42) << "reading outside the list gives nothing";
    rig.Viewer->put_PrimaryCodec(0);
    rig.Viewer->get_Codecs(0, &value);
    EXPECT_EQ(value, 0);
}

TEST(ViewerLifecycle, ConnectWithoutServerIsRefused) {
    ViewerRig rig;
    VNCVariant result;
    EXPECT_EQ(rig.Viewer->Connect(VNCVariant(), VNCVariant(), VNCVariant(), VNCVariant(), &result), VNC_S_OK);
    EXPECT_EQ(result.ToInt32(), -1);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), 0);
    VNCBool connected = VNC_TRUE;
    rig.Viewer->IsConnected(&connected);
    EXPECT_EQ(connected, VNC_FALSE);
}

TEST(ViewerLifecycle, StartBeforeConnectedIsRefused) {
    ViewerRig rig;
    VNCVariant result;
    rig.Viewer->Start(&result);
    EXPECT_EQ(result.ToInt32(), -1);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), 0);
}

TEST(ViewerLifecycle, StopWhenIdleRaisesNothing) {
    ViewerRig rig;
    VNCVariant result(int32_t(7));
    rig.Viewer->Stop(&result);
    EXPECT_EQ(result.ToInt32(), 0);
    latis_test::PumpFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(rig.Sink.Events.empty());
}

TEST(ViewerLifecycle, MethodsThatNeedASessionReturnMinusOne) {
    ViewerRig rig;
    VNCVariant result;
    rig.Viewer->SendMouseDown(1, 0, VNCVariant(int32_t(5)), VNCVariant(int32_t(5)), &result);
    EXPECT_EQ(result.ToInt32(), -1);
    rig.Viewer->SendClipboard(dovaDataText, VNCVariant(QStringLiteral("x")), &result);
    EXPECT_EQ(result.ToInt32(), -1);
    VNCVariant untouched(int32_t(9));
    rig.Viewer->SendKeyDown(65, 0, &untouched);
    EXPECT_EQ(untouched.ToInt32(), 9) << "key methods leave retVal unset without an input thread";
    EXPECT_EQ(rig.Viewer->RefreshRectangle(VNCRectangle{}, nullptr), VNC_E_INVALIDARG);
}

TEST(ViewerMethods, TranslateButtonsSwapsRightAndMiddle) {
    ViewerRig rig;
    int32_t out = 0;
    rig.Viewer->TranslateButtons(2, &out);
    EXPECT_EQ(out, 4);
    rig.Viewer->TranslateButtons(4, &out);
    EXPECT_EQ(out, 2);
    rig.Viewer->TranslateButtons(7, &out);
    EXPECT_EQ(out, 7);
    rig.Viewer->TranslateButtons(0x11, &out);
    EXPECT_EQ(out, 0x11);
}

TEST(ViewerMethods, StretchRatiosNeedBothValuesAboveZero) {
    ViewerRig rig;
    VNCPoint ratio;
    rig.Viewer->StretchX(0, 5, &ratio);
    EXPECT_EQ(ratio.X, 1);
    EXPECT_EQ(ratio.Y, 1);
    rig.Viewer->StretchX(1, 2, &ratio);
    EXPECT_EQ(ratio.X, 1);
    EXPECT_EQ(ratio.Y, 2);
    rig.Viewer->StretchX(3, -1, &ratio);
    EXPECT_EQ(ratio.Y, 2);
    rig.Viewer->StretchY(3, 4, &ratio);
    EXPECT_EQ(ratio.X, 3);
    EXPECT_EQ(ratio.Y, 4);
}

TEST(ViewerMethods, DecryptInvertsEncrypt) {
    ViewerRig rig;
    const QString key = QStringLiteral("anahtar1");
    const QString secrets[] = {QStringLiteral("secret12"), QStringLiteral("a"), QString(),
                               QStringLiteral("şifre ğüİı 1234567890 uzun bir metin")};
    for (const QString& secret : secrets) {
        QString sealed, opened;
        ASSERT_EQ(rig.Viewer->Encrypt(secret, key, &sealed), VNC_S_OK);
        if (!secret.isEmpty()) {
            EXPECT_NE(sealed, secret);
        }
        ASSERT_EQ(rig.Viewer->Decrypt(sealed, key, &opened), VNC_S_OK);
        EXPECT_EQ(opened, secret);
    }
    QString a, b;
    rig.Viewer->Encrypt(QStringLiteral("secret12"), QStringLiteral("anahtar2"), &b);
    rig.Viewer->Encrypt(QStringLiteral("secret12"), key, &a);
    EXPECT_NE(a, b) << "the key matters";
    QString same;
    rig.Viewer->Encrypt(QStringLiteral("secret12"), QStringLiteral("short"), &same);
    EXPECT_EQ(same, QStringLiteral("secret12")) << "a key under 8 characters transforms nothing";
    EXPECT_EQ(rig.Viewer->Decrypt(QStringLiteral("xyz"), key, &same), VNC_E_INVALIDARG);
}

TEST(ViewerEntryPoint, MismatchedVersionCreatesNothing) {
    latis_test::TestApplication();
    void* library = dlopen(DOVA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<DovaCreateViewerFunction>(dlsym(library, DOVA_ENTRY_POINT_NAME));
    ASSERT_NE(create, nullptr);
    const char* message = nullptr;
    EXPECT_EQ(create((DOVA_INTERFACE_MAJOR + 1) << 16, nullptr, &message), nullptr);
    ASSERT_NE(message, nullptr);
    EXPECT_NE(std::string(message).find("version"), std::string::npos);
    EXPECT_EQ(create(DOVA_INTERFACE_VERSION + 1, nullptr, &message), nullptr) << "a newer minor version";
    IVNCViewer* viewer = create(DOVA_INTERFACE_VERSION, nullptr, &message);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(message, nullptr);
    QWidget* window = nullptr;
    viewer->get_Window(&window);
    EXPECT_NE(window, nullptr);
    delete viewer;
    // The library stays loaded: Qt may still hold its type information.
}

TEST(ViewerPlaceholder, TwoCentredLinesOnBackColor) {
    ViewerRig rig(400, 200);
    rig.Viewer->put_BackColor(0x0000FF); // red, in the component's blue-green-red order
    rig.Viewer->put_ForeColor(0xFF0000); // blue
    const QImage shot = rig.Viewer->grab().toImage();
    EXPECT_EQ(shot.pixel(2, 2) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shot.pixel(397, 197) & 0xFFFFFF, 0xFF0000u);
    int above = 0, below = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x)
            if (qBlue(shot.pixel(x, y)) > 128 && qRed(shot.pixel(x, y)) < 128)
                (y < 100 ? above : below)++;
    EXPECT_GT(above, 0) << "\"DOVA\" above the centre";
    EXPECT_GT(below, above) << "the longer line below it";
}
