// Saved properties and property browsing.
#include "ViewerRig.h"

#include <gtest/gtest.h>

using namespace dova;
using latis_test::ViewerRig;

namespace {
QStringList Names(const QString& saved) {
    QStringList names;
    const QStringList lines = saved.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i)
        names << lines.at(i).section(QLatin1Char('='), 0, 0);
    return names;
}
} // namespace

TEST(ViewerPersistence, ThirtySevenEntriesInMapOrder) {
    ViewerRig rig;
    QString saved;
    ASSERT_EQ(rig.Viewer->SaveProperties(&saved), VNC_S_OK);
    const QStringList names = Names(saved);
    ASSERT_EQ(names.size(), 37);
    EXPECT_EQ(names.first(), QStringLiteral("_cx"));
    EXPECT_EQ(names.at(8), QStringLiteral("Port"));
    EXPECT_EQ(names.at(9), QStringLiteral("Display"));
    EXPECT_EQ(names.at(32), QStringLiteral("MouseTrapModifiers")) << "the stored name, not the member's";
    EXPECT_EQ(names.at(33), QStringLiteral("QualityLevel"));
    EXPECT_EQ(names.at(34), QStringLiteral("CompressLevel"));
    EXPECT_EQ(names.at(35), QStringLiteral("Encryption"));
    EXPECT_EQ(names.at(36), QStringLiteral("UserName"));
    EXPECT_TRUE(saved.contains(QStringLiteral("\nEncryption=0\n"))) << "off unless the host asks";
}

TEST(ViewerPersistence, EncryptionAndUserNameComeBack) {
    ViewerRig first;
    ASSERT_EQ(first.Viewer->put_Encryption(dovaEncryptionRequire), VNC_S_OK);
    EXPECT_EQ(first.Viewer->put_Encryption(3), VNC_E_INVALIDARG);
    first.Viewer->put_UserName(QStringLiteral("işletmen=1"));
    QString saved;
    first.Viewer->SaveProperties(&saved);
    ViewerRig second;
    ASSERT_EQ(second.Viewer->LoadProperties(saved), VNC_S_OK);
    int32_t policy = 0;
    QString user;
    second.Viewer->get_Encryption(&policy);
    second.Viewer->get_UserName(&user);
    EXPECT_EQ(policy, dovaEncryptionRequire);
    EXPECT_EQ(user, QStringLiteral("işletmen=1"));
}

TEST(ViewerPersistence, PortBelowTheDisplayRangeComesBackAsDisplayZero) {
    ViewerRig first;
    first.Viewer->put_Port(5800);
    QString saved;
    first.Viewer->SaveProperties(&saved);
    ViewerRig second;
    second.Viewer->put_Port(1234);
    ASSERT_EQ(second.Viewer->LoadProperties(saved), VNC_S_OK);
    EXPECT_EQ(second.Int(&CVNCViewer::get_Port), 5900) << "Display 0, loaded after Port, wins";
}

TEST(ViewerPersistence, ValuesSurviveTheRoundTrip) {
    ViewerRig first(321, 123);
    CVNCViewer& a = *first.Viewer;
    a.put_Server(QStringLiteral("sunucu=1\nçok"));
    a.put_Password(QStringLiteral("p%ss w=rd"));
    a.put_Port(5907);
    a.put_BackColor(0x123456);
    a.put_RelayKeys(1);
    a.put_Stretch(VNC_TRUE);
    a.put_StretchMode(0);
    a.put_MouseTrapModifers(3);
    a.put_BitsPerPixel(8);
    a.put_QualityLevel(4);
    a.put_QualityLevel(10); // ignored: levels are 0 to 9 (or -1)
    a.put_CompressLevel(0);
    QImage icon(8, 8, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    a.put_MouseIcon(icon);
    QString saved;
    a.SaveProperties(&saved);

    ViewerRig second;
    CVNCViewer& b = *second.Viewer;
    ASSERT_EQ(b.LoadProperties(saved), VNC_S_OK);
    QString text;
    b.get_Server(&text);
    EXPECT_EQ(text, QStringLiteral("sunucu=1\nçok"));
    b.get_Password(&text);
    EXPECT_EQ(text, QStringLiteral("p%ss w=rd"));
    EXPECT_EQ(second.Int(&CVNCViewer::get_Port), 5907);
    uint32_t colour = 0;
    b.get_BackColor(&colour);
    EXPECT_EQ(colour, 0x123456u);
    VNCBool flag = 0;
    b.get_RelayKeys(&flag);
    EXPECT_EQ(flag, 1);
    b.get_Stretch(&flag);
    EXPECT_EQ(flag, VNC_TRUE);
    EXPECT_EQ(second.Int(&CVNCViewer::get_StretchMode), 0);
    EXPECT_EQ(second.Int(&CVNCViewer::get_MouseTrapModifers), 3);
    int16_t bits = 0;
    b.get_BitsPerPixel(&bits);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(second.Int(&CVNCViewer::get_QualityLevel), 4);
    EXPECT_EQ(second.Int(&CVNCViewer::get_CompressLevel), 0);
    QImage loaded;
    b.get_MouseIcon(&loaded);
    EXPECT_EQ(loaded.size(), QSize(8, 8));
    EXPECT_EQ(b.width(), 321);
    EXPECT_EQ(b.height(), 123);
    EXPECT_EQ(b.LoadProperties(QStringLiteral("Port=1\n")), VNC_E_INVALIDARG) << "no header";
}

TEST(ViewerBrowsing, DisplayTexts) {
    ViewerRig rig;
    CVNCViewer& v = *rig.Viewer;
    QString text;
    v.GetDisplayString(145, &text);
    EXPECT_EQ(text, QStringLiteral("Custom Value")) << "StretchMode 4 has no text";
    v.GetDisplayString(-521, &text);
    EXPECT_EQ(text, QStringLiteral("201 - Small Circle"));
    v.put_MousePointer(57);
    v.GetDisplayString(-521, &text);
    EXPECT_EQ(text, QStringLiteral("Custom Value"));
    v.GetDisplayString(18, &text);
    EXPECT_EQ(text, QStringLiteral("******")) << "empty password";
    v.put_Password(QStringLiteral("x"));
    v.GetDisplayString(18, &text);
    EXPECT_EQ(text, QStringLiteral("******"));
    v.GetDisplayString(256, &text);
    EXPECT_EQ(text, QStringLiteral("16 - 16 Bpp"));
    EXPECT_EQ(v.GetDisplayString(19, &text), VNC_E_NOTIMPL) << "Port shows its own value";
}

TEST(ViewerBrowsing, PredefinedStringsCarryPositionsAsCookies) {
    ViewerRig rig;
    CVNCViewer& v = *rig.Viewer;
    QStringList texts;
    QList<int32_t> cookies;
    v.GetPredefinedStrings(-521, &texts, &cookies);
    ASSERT_EQ(texts.size(), 20);
    EXPECT_EQ(cookies.first(), 0);
    EXPECT_EQ(cookies.last(), 19);
    VNCVariant value;
    ASSERT_EQ(v.GetPredefinedValue(-521, 16, &value), VNC_S_OK);
    EXPECT_EQ(value.ToInt32(), 200);
    EXPECT_EQ(v.GetPredefinedValue(-521, 20, &value), VNC_E_NOTIMPL);
    v.GetPredefinedStrings(145, &texts, &cookies);
    ASSERT_EQ(texts.size(), 2);
    v.GetPredefinedValue(145, 1, &value); // "1 - Halftone"
    v.put_StretchMode(value.ToInt32());
    EXPECT_EQ(rig.Int(&CVNCViewer::get_StretchMode), 1);
    v.GetPredefinedStrings(17, &texts, &cookies);
    EXPECT_TRUE(texts.isEmpty());
    v.GetPredefinedStrings(256, &texts, &cookies);
    EXPECT_EQ(texts.first(), QStringLiteral("8  - 8 Bpp")) << "two blanks";
}

TEST(ViewerBrowsing, PropertyPages) {
    ViewerRig rig;
    QString page;
    EXPECT_EQ(rig.Viewer->MapPropertyToPage(-501, &page), VNC_S_OK);
    EXPECT_EQ(page, QStringLiteral("Colour"));
    EXPECT_EQ(rig.Viewer->MapPropertyToPage(-522, &page), VNC_S_OK);
    EXPECT_EQ(page, QStringLiteral("Picture"));
    EXPECT_EQ(rig.Viewer->MapPropertyToPage(17, &page), VNC_E_NOTIMPL);
    EXPECT_EQ(rig.Viewer->MapPropertyToPage(21, &page), VNC_S_OK);
    EXPECT_TRUE(page.isEmpty());
    EXPECT_EQ(rig.Viewer->MapPropertyToPage(-999, &page), VNC_E_INVALIDARG);
    // Unsaved texts and numbers are edited in place too: ServerName, FrameWidth, ServerVersion.
    for (int32_t dispid : {22, 80, 5376})
        EXPECT_EQ(rig.Viewer->MapPropertyToPage(dispid, &page), VNC_E_NOTIMPL) << dispid;
}
