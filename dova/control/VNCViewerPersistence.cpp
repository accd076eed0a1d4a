// Saved properties and property browsing.
#include "PropertyBrowsing.h"
#include "VNCViewer.h"

#include <QBuffer>
#include <QUrl>

#include <functional>
#include <map>

namespace dova {

namespace {
const QString Header = QStringLiteral("DOVA properties 1");

// One saved property: its stored name and how its value reads and writes as text.
struct SavedProperty {
    const char* Name;
    int32_t Dispid; // 0 for the size entries
    std::function<QString(CVNCViewer&)> Save;
    std::function<void(CVNCViewer&, const QString&)> Load;
};

template <typename T> QString Number(CVNCViewer& v, VNCStatus (CVNCViewer::*get)(T*)) {
    T value{};
    (v.*get)(&value);
    return QString::number(value);
}

template <typename T>
SavedProperty NumberEntry(const char* name, int32_t dispid, VNCStatus (CVNCViewer::*get)(T*),
                          VNCStatus (CVNCViewer::*put)(T)) {
    return SavedProperty{name, dispid, [get](CVNCViewer& v) { return Number(v, get); },
                         [put](CVNCViewer& v, const QString& text) {
                             bool ok = false;
                             const qlonglong value = text.toLongLong(&ok);
                             if (ok)
                                 (v.*put)(T(value));
                         }};
}

SavedProperty TextEntry(const char* name, int32_t dispid, VNCStatus (CVNCViewer::*get)(QString*),
                        VNCStatus (CVNCViewer::*put)(const QString&)) {
    return SavedProperty{
        name, dispid,
        [get](CVNCViewer& v) {
            QString value;
            (v.*get)(&value);
            return QString::fromLatin1(QUrl::toPercentEncoding(value));
        },
        [put](CVNCViewer& v, const QString& text) { (v.*put)(QUrl::fromPercentEncoding(text.toLatin1())); }};
}

const std::vector<SavedProperty>& PropertyMap() {
    using V = CVNCViewer;
    static const std::vector<SavedProperty> map = {
        {"_cx", 0, [](V& v) { return QString::number(v.width()); },
         [](V& v, const QString& t) { v.resize(std::max(0, t.toInt()), v.height()); }},
        {"_cy", 0, [](V& v) { return QString::number(v.height()); },
         [](V& v, const QString& t) { v.resize(v.width(), std::max(0, t.toInt())); }},
        NumberEntry<uint32_t>("BackColor", dispids::BackColor, &V::get_BackColor, &V::put_BackColor),
        NumberEntry<uint32_t>("ForeColor", dispids::ForeColor, &V::get_ForeColor, &V::put_ForeColor),
        NumberEntry<VNCBool>("Enabled", dispids::Enabled, &V::get_Enabled, &V::put_Enabled),
        {"MouseIcon", dispids::MouseIcon,
         [](V& v) {
             QImage icon;
             v.get_MouseIcon(&icon);
             if (icon.isNull())
                 return QString();
             QByteArray png;
             QBuffer buffer(&png);
             buffer.open(QIODevice::WriteOnly);
             icon.save(&buffer, "PNG");
             return QString::fromLatin1(png.toBase64());
         },
         [](V& v, const QString& t) {
             if (!t.isEmpty())
                 v.put_MouseIcon(QImage::fromData(QByteArray::fromBase64(t.toLatin1()), "PNG"));
         }},
        TextEntry("Server", dispids::Server, &V::get_Server, &V::put_Server),
        TextEntry("Password", dispids::Password, &V::get_Password, &V::put_Password),
        NumberEntry<int32_t>("Port", dispids::Port, &V::get_Port, &V::put_Port),
        NumberEntry<int32_t>("Display", dispids::Display, &V::get_Display, &V::put_Display),
        NumberEntry<VNCBool>("Shared", dispids::Shared, &V::get_Shared, &V::put_Shared),
        NumberEntry<VNCBool>("RelayKeys", dispids::RelayKeys, &V::get_RelayKeys, &V::put_RelayKeys),
        NumberEntry<VNCBool>("RelayMouse", dispids::RelayMouse, &V::get_RelayMouse, &V::put_RelayMouse),
        NumberEntry<VNCBool>("RelayLocalClipboard", dispids::RelayLocalClipboard, &V::get_RelayLocalClipboard,
                             &V::put_RelayLocalClipboard),
        NumberEntry<VNCBool>("RelayServerClipboard", dispids::RelayServerClipboard,
                             &V::get_RelayServerClipboard, &V::put_RelayServerClipboard),
        NumberEntry<int32_t>("ScreenEdgeDelay", dispids::ScreenEdgeDelay, &V::get_ScreenEdgeDelay,
                             &V::put_ScreenEdgeDelay),
        NumberEntry<VNCBool>("EnableBell", dispids::EnableBell, &V::get_EnableBell, &V::put_EnableBell),
        NumberEntry<int32_t>("FrameUpdateDelay", dispids::FrameUpdateDelay, &V::get_FrameUpdateDelay,
                             &V::put_FrameUpdateDelay),
        NumberEntry<int32_t>("Scrollbars", dispids::Scrollbars, &V::get_Scrollbars, &V::put_Scrollbars),
        NumberEntry<int32_t>("MousePointer", dispids::MousePointer, &V::get_MousePointer,
                             &V::put_MousePointer),
        NumberEntry<int32_t>("PrimaryCodec", dispids::PrimaryCodec, &V::get_PrimaryCodec,
                             &V::put_PrimaryCodec),
        NumberEntry<VNCBool>("ProgressiveDrawing", dispids::ProgressiveDrawing, &V::get_ProgressiveDrawing,
                             &V::put_ProgressiveDrawing),
        NumberEntry<VNCBool>("AutoScroll", dispids::AutoScroll, &V::get_AutoScroll, &V::put_AutoScroll),
        NumberEntry<int32_t>("AutoScrollBand", dispids::AutoScrollBand, &V::get_AutoScrollBand,
                             &V::put_AutoScrollBand),
        NumberEntry<int32_t>("AutoScrollDelay", dispids::AutoScrollDelay, &V::get_AutoScrollDelay,
                             &V::put_AutoScrollDelay),
        NumberEntry<int16_t>("BitsPerPixel", dispids::BitsPerPixel, &V::get_BitsPerPixel,
                             &V::put_BitsPerPixel),
        NumberEntry<VNCBool>("Stretch", dispids::Stretch, &V::get_Stretch, &V::put_Stretch),
        NumberEntry<int32_t>("StretchMode", dispids::StretchMode, &V::get_StretchMode, &V::put_StretchMode),
        NumberEntry<VNCBool>("Draw", dispids::Draw, &V::get_Draw, &V::put_Draw),
        NumberEntry<VNCBool>("FireFrameUpdates", dispids::FireFrameUpdates, &V::get_FireFrameUpdates,
                             &V::put_FireFrameUpdates),
        NumberEntry<VNCBool>("FireDataTransfers", dispids::FireDataTransfers, &V::get_FireDataTransfers,
                             &V::put_FireDataTransfers),
        NumberEntry<VNCBool>("MouseTrap", dispids::MouseTrap, &V::get_MouseTrap, &V::put_MouseTrap),
        NumberEntry<int32_t>("MouseTrapModifiers", dispids::MouseTrapModifers, &V::get_MouseTrapModifers,
                             &V::put_MouseTrapModifers),
        NumberEntry<int32_t>("QualityLevel", dispids::QualityLevel, &V::get_QualityLevel,
                             &V::put_QualityLevel),
        NumberEntry<int32_t>("CompressLevel", dispids::CompressLevel, &V::get_CompressLevel,
                             &V::put_CompressLevel),
        NumberEntry<int32_t>("Encryption", dispids::Encryption, &V::get_Encryption, &V::put_Encryption),
        TextEntry("UserName", dispids::UserName, &V::get_UserName, &V::put_UserName),
    };
    return map;
}

constexpr int32_t ServerClipboardDispid = 107, LocalClipboardDispid = 106;

const SavedProperty* SavedByDispid(int32_t dispid) {
    for (const SavedProperty& entry : PropertyMap())
        if (entry.Dispid == dispid && entry.Dispid != 0)
            return &entry;
    return nullptr;
}
} // namespace

VNCStatus CVNCViewer::SaveProperties(QString* text) {
    if (!text)
        return VNC_E_POINTER;
    QString out = Header + QLatin1Char('\n');
    for (const SavedProperty& entry : PropertyMap())
        out += QString::fromLatin1(entry.Name) + QLatin1Char('=') + entry.Save(*this) + QLatin1Char('\n');
    *text = out;
    return VNC_S_OK;
}

VNCStatus CVNCViewer::LoadProperties(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.first().trimmed() != Header)
        return VNC_E_INVALIDARG;
    std::map<QString, QString> values;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            values[line.left(equals)] = line.mid(equals + 1);
    }
    for (const SavedProperty& entry : PropertyMap()) // map order: Display after Port
        if (const auto found = values.find(QString::fromLatin1(entry.Name)); found != values.end())
            entry.Load(*this, found->second);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::GetDisplayString(int32_t dispid, QString* text) {
    if (!text)
        return VNC_E_POINTER;
    if (dispid == dispids::Password) {
        *text = QStringLiteral("******");
        return VNC_S_OK;
    }
    if (PredefinedValuesOf(dispid).empty())
        return VNC_E_NOTIMPL;
    int32_t value = 0;
    switch (dispid) {
    case dispids::MousePointer:
        value = MousePointerValue;
        break;
    case dispids::Scrollbars:
        value = ScrollbarsValue;
        break;
    case dispids::PrimaryCodec:
        get_PrimaryCodec(&value);
        break;
    case dispids::StretchMode:
        get_StretchMode(&value);
        break;
    case dispids::MouseTrapModifers:
        value = MouseTrapModifersValue;
        break;
    case dispids::BitsPerPixel: {
        int16_t bits = 0;
        get_BitsPerPixel(&bits);
        value = bits;
        break;
    }
    default:
        break;
    }
    *text = DisplayTextOf(dispid, value);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::GetPredefinedStrings(int32_t dispid, QStringList* texts, QList<int32_t>* cookies) {
    if (!texts || !cookies)
        return VNC_E_POINTER;
    texts->clear();
    cookies->clear();
    const std::vector<PredefinedValue>& values = PredefinedValuesOf(dispid);
    for (size_t i = 0; i < values.size(); ++i) {
        texts->append(QString::fromLatin1(values[i].Text));
        cookies->append(int32_t(i));
    }
    return VNC_S_OK;
}

VNCStatus CVNCViewer::GetPredefinedValue(int32_t dispid, int32_t cookie, VNCVariant* value) {
    if (!value)
        return VNC_E_POINTER;
    const std::vector<PredefinedValue>& values = PredefinedValuesOf(dispid);
    if (cookie < 0 || size_t(cookie) >= values.size())
        return VNC_E_NOTIMPL;
    *value = VNCVariant(values[size_t(cookie)].Value);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::MapPropertyToPage(int32_t dispid, QString* page) {
    if (!page)
        return VNC_E_POINTER;
    page->clear();
    const SavedProperty* entry = SavedByDispid(dispid);
    // Texts and numbers are edited in place, saved or not; booleans, colours and pictures get a page
    // (or none).
    static const std::vector<int32_t> inPlace = {
        dispids::Server, dispids::Password, dispids::Port, dispids::Display, dispids::ScreenEdgeDelay,
        dispids::FrameUpdateDelay, dispids::PrimaryCodec, dispids::AutoScrollBand, dispids::AutoScrollDelay,
        dispids::BitsPerPixel, dispids::StretchMode, dispids::MouseTrapModifers, dispids::QualityLevel,
        dispids::CompressLevel,
        // Alignment, ServerAddress, ServerName, State, FrameWidth/Height, ViewEdgeDelay, FrameEdgeDelay,
        // MousePos*, ScreenHeight/Width, ScreenBitsPerPixel, StretchedWidth/Height, View*, ScrollPosH/V,
        // ServerVersion, hDC.
        0, 16, 22, 23, 80, 81, 113, 114, 4112, 4113, 4114, 4115, 4128, 4129, 4160, 4192, 4193, 4208, 4209,
        4210, 4211, 4212, 4213, 4353, 4354, 5376, 6400};
    if (dispid >= 0 && dispid <= 6553 && std::find(inPlace.begin(), inPlace.end(), dispid) != inPlace.end())
        return VNC_E_NOTIMPL;
    // The clipboard properties are variants: in place while they hold a text.
    VNCVariant clipboard;
    if (dispid == ServerClipboardDispid)
        get_ServerClipboard(&clipboard);
    else if (dispid == LocalClipboardDispid)
        get_LocalClipboard(&clipboard);
    if (clipboard.IsText() || clipboard.IsInteger())
        return VNC_E_NOTIMPL;
    if (!entry)
        return VNC_E_INVALIDARG;
    if (dispid == dispids::BackColor || dispid == dispids::ForeColor)
        *page = QStringLiteral("Colour");
    else if (dispid == dispids::MouseIcon)
        *page = QStringLiteral("Picture");
    return VNC_S_OK;
}

} // namespace dova
