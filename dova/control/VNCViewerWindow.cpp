// The viewer's window: view geometry, scroll bars, scrolling, auto-scroll and painting.
#include "VNCViewer.h"
#include "ViewGeometry.h"

#include "engine/ThreadMessage.h"
#include "framebuffer/FrameBuffer.h"

#include <QApplication>
#include <QCursor>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

namespace dova {

namespace {
// Scroll-bar steps: a line is 10 pixels, a page a quarter of the client size; auto-scroll moves 10
// pixels a tick, five times that with Control held.
constexpr int LineStep = 10;
constexpr int PageDivisor = 4;
constexpr int AutoScrollStep = 10;
constexpr int AutoScrollControlFactor = 5;
// Baselines of the two placeholder lines, above and below the vertical centre.
constexpr int PlaceholderBaselineOffset = 10;
// Windows-style system colours (value above 0x80000000) resolve to this palette role.
constexpr uint32_t SystemColourFlag = 0x80000000u;

QColor ColourOf(uint32_t value, const QPalette& palette) {
    if (value & SystemColourFlag) {
        switch (value & 0xFF) {
        case 8:  // window text
        case 18: // button text
            return palette.color(QPalette::WindowText);
        case 5: // window
            return palette.color(QPalette::Base);
        default:
            return palette.color(QPalette::Window);
        }
    }
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}
} // namespace

StretchRatio CVNCViewer::Ratio() const {
    CLockGuard hold(*State);
    return StretchRatio{State->StretchXNum, State->StretchXDen, State->StretchYNum, State->StretchYDen};
}

bool CVNCViewer::ViewValid() const {
    return HasSession() && ConnectedOrDispatching();
}

int CVNCViewer::ContentWidth() const {
    CLockGuard hold(*State);
    const int frame = State->FrameWidth;
    if (!State->Stretch)
        return frame;
    return ScaleX(
        StretchRatio{State->StretchXNum, State->StretchXDen, State->StretchYNum, State->StretchYDen}, frame);
}

int CVNCViewer::ContentHeight() const {
    CLockGuard hold(*State);
    const int frame = State->FrameHeight;
    if (!State->Stretch)
        return frame;
    return ScaleY(
        StretchRatio{State->StretchXNum, State->StretchXDen, State->StretchYNum, State->StretchYDen}, frame);
}

QRect CVNCViewer::ClientRect() const {
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return QRect(0, 0, std::max(0, width() - (VBarShown ? extent : 0)),
                 std::max(0, height() - (HBarShown ? extent : 0)));
}

int CVNCViewer::ViewLeftValue() const {
    if (!ViewValid())
        return 0;
    return AlignedOrigin(AlignmentValue, dovaEdgeLeft, dovaEdgeRight, ClientRect().width(), ContentWidth());
}

int CVNCViewer::ViewTopValue() const {
    if (!ViewValid())
        return 0;
    return AlignedOrigin(AlignmentValue, dovaEdgeTop, dovaEdgeBottom, ClientRect().height(), ContentHeight());
}

bool CVNCViewer::HorizontalNeeded(bool forced) const {
    if (!HasSession() || State->State.load() != states::Dispatching)
        return false;
    return BarNeeded(forced, ContentWidth(), ClientRect().width(), width(), !forced && VerticalNeeded(true));
}

bool CVNCViewer::VerticalNeeded(bool forced) const {
    if (!HasSession() || State->State.load() != states::Dispatching)
        return false;
    return BarNeeded(forced, ContentHeight(), ClientRect().height(), height(),
                     !forced && HorizontalNeeded(true));
}

void CVNCViewer::LayoutBars() {
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    HBar->setGeometry(0, height() - extent, std::max(0, width() - (VBarShown ? extent : 0)), extent);
    VBar->setGeometry(width() - extent, 0, extent, std::max(0, height() - (HBarShown ? extent : 0)));
    HBar->setVisible(HBarShown);
    VBar->setVisible(VBarShown);
    PublishView();
}

void CVNCViewer::UpdateScrollBars() {
    if (!HasSession()) {
        HBarShown = VBarShown = false;
        LayoutBars();
        return;
    }
    if (!ConnectedOrDispatching())
        return;
    bool changed = false;
    if (!HorizontalNeeded(false)) {
        HBarShown = false;
    } else {
        HBarShown = (ScrollbarsValue & dovaScrollbarHorizontal) != 0;
        changed = true;
    }
    LayoutBars();
    if (!VerticalNeeded(false)) {
        VBarShown = false;
        LayoutBars();
        if (!changed)
            return;
    } else {
        VBarShown = (ScrollbarsValue & dovaScrollbarVertical) != 0;
        LayoutBars();
    }
    ScrollBy(0, 0);
    SetScrollInfo(-1, -1);
}

void CVNCViewer::SetScrollInfo(int h, int v) {
    if (!HasSession() || !ConnectedOrDispatching())
        return;
    const QRect client = ClientRect();
    SettingBars = true;
    auto apply = [&](QScrollBar* bar, bool allowed, int content, int page, int position, int& remembered,
                     int& range) {
        range = content;
        if (position < 0 && allowed)
            position = bar->value();
        if (position >= 0)
            remembered = position;
        bar->setRange(0, std::max(0, content - page));
        bar->setPageStep(std::max(1, page));
        bar->setSingleStep(LineStep);
        bar->setValue(remembered);
    };
    apply(HBar, ScrollbarsValue & dovaScrollbarHorizontal, ContentWidth(), client.width(), h, RememberedH,
          RangeH);
    apply(VBar, ScrollbarsValue & dovaScrollbarVertical, ContentHeight(), client.height(), v, RememberedV,
          RangeV);
    SettingBars = false;
    PublishView();
}

bool CVNCViewer::ScrollBy(int dx, int dy) {
    int32_t p = 0, q = 0;
    get_ScrollPosH(&p);
    get_ScrollPosV(&q);
    const QRect client = ClientRect();
    dx = ClampScrollStep(dx, p, RangeH, client.width());
    dy = ClampScrollStep(dy, q, RangeV, client.height());
    if (dx == 0 && dy == 0)
        return false;
    SetScrollInfo(p + dx, q + dy);
    update(client);
    return true;
}

VNCStatus CVNCViewer::Scroll(int32_t H, int32_t V, VNCVariant* retVal) {
    ScrollBy(H, V);
    if (retVal)
        *retVal = VNCVariant(int32_t(0));
    return VNC_S_OK;
}

void CVNCViewer::OnBarAction(Qt::Orientation orientation, int action) {
    if (SettingBars)
        return;
    QScrollBar* bar = orientation == Qt::Horizontal ? HBar : VBar;
    const QRect client = ClientRect();
    const int page = (orientation == Qt::Horizontal ? client.width() : client.height()) / PageDivisor;
    const int current = orientation == Qt::Horizontal ? RememberedH : RememberedV;
    int delta = 0;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        delta = -LineStep;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        delta = LineStep;
        break;
    case QAbstractSlider::SliderPageStepSub:
        delta = -page;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        delta = page;
        break;
    case QAbstractSlider::SliderMove:
        delta = bar->sliderPosition() - current;
        break;
    default:
        break;
    }
    // The bar applies its own idea of the step after this; make it ours.
    bar->setSliderPosition(current);
    if (orientation == Qt::Horizontal)
        ScrollBy(delta, 0);
    else
        ScrollBy(0, delta);
    bar->setSliderPosition(orientation == Qt::Horizontal ? RememberedH : RememberedV);
}

void CVNCViewer::PublishView() {
    int32_t scrollH = 0, scrollV = 0;
    get_ScrollPosH(&scrollH);
    get_ScrollPosV(&scrollV);
    const int left = ViewLeftValue(), top = ViewTopValue();
    CLockGuard hold(*State);
    State->ViewLeft = left;
    State->ViewTop = top;
    State->ScrollX = scrollH;
    State->ScrollY = scrollV;
}

void CVNCViewer::RebuildImage() {
    if (!FrameBuffer)
        return;
    // The framebuffer lock first (the session thread may be rebuilding the bitmap), then the
    // presenter takes the back surface's: the presenter's own order.
    CLockGuard hold(*FrameBuffer);
    FrameBuffer->Repaint(0, 0, FrameBuffer->Width(), FrameBuffer->Height());
}

void CVNCViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutBars();
    UpdateScrollBars();
    update();
}

void CVNCViewer::OnTimer(const PointerSample& pointer) {
    EdgeTick(pointer);
    AutoScrollTick(pointer);
}

void CVNCViewer::AutoScrollTick(const PointerSample& sample) {
    if (!HasSession() || State->State.load() != states::Dispatching || !AutoScrollValue)
        return;
    const QPoint pointer = sample.Global;
    // The band may lie on the viewer's own scroll bar: that is still this window.
    if (!OverOwnWindow(sample))
        return;
    const QRect window(mapToGlobal(QPoint(0, 0)), size());
    const int x = pointer.x(), y = pointer.y();
    const int left = window.x(), right = window.x() + window.width();
    const int top = window.y(), bottom = window.y() + window.height();
    if (x < left || x > right || y < top || y > bottom)
        return;
    const int band = AutoScrollBandValue;
    int dx = 0, dy = 0;
    if (HorizontalNeeded(false)) {
        if (left <= x && x <= left + band)
            dx = -AutoScrollStep;
        else if (right - band <= x && x <= right)
            dx = AutoScrollStep;
    }
    if (VerticalNeeded(false)) {
        if (top <= y && y <= top + band)
            dy = -AutoScrollStep;
        else if (bottom - band <= y && y <= bottom)
            dy = AutoScrollStep;
    }
    if (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) {
        dx *= AutoScrollControlFactor;
        dy *= AutoScrollControlFactor;
    }
    if ((dx != 0 || dy != 0) && ScrollBy(dx, dy)) {
        // The remote pointer follows the image: a move with the last button state.
        const uint32_t state = LastMouseKeyState;
        Qt::MouseButtons buttons;
        if (state & 0x1)
            buttons |= Qt::LeftButton;
        if (state & 0x2)
            buttons |= Qt::RightButton;
        if (state & 0x10)
            buttons |= Qt::MiddleButton;
        RelayMouse(thread_messages::MouseMove, mapFromGlobal(pointer), buttons,
                   QGuiApplication::queryKeyboardModifiers());
    }
}

namespace {
// Qt takes the top byte of an RGB32 pixel as opaque without looking at it, and copies it as it is;
// ours is whatever the server sent (mostly 0). A compositor that honours alpha (Wayland) would then
// show what lies behind every dark pixel. So the part drawn is copied with that byte set; X11 windows
// have no alpha channel, and there the copy (3 ms for a full-HD repaint) is saved.
void DrawOpaque(QPainter& painter, const QPoint& at, const QImage& image, const QRect& part) {
    static const bool alphaIgnored = QGuiApplication::platformName() == QLatin1String("xcb");
    if (alphaIgnored) {
        painter.drawImage(at, image, part);
        return;
    }
    QImage opaque(part.size(), QImage::Format_RGB32);
    if (opaque.isNull())
        return;
    for (int y = 0; y < part.height(); ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(image.constScanLine(part.y() + y)) + part.x();
        auto* out = reinterpret_cast<uint32_t*>(opaque.scanLine(y));
        for (int x = 0; x < part.width(); ++x)
            out[x] = in[x] | 0xFF000000u;
    }
    painter.drawImage(at, opaque);
}
} // namespace

void CVNCViewer::PaintPlaceholder(QPainter& painter, const QRect& bounds) {
    const QColor back = ColourOf(BackColour, palette());
    painter.fillRect(bounds, back);
    painter.setPen(ColourOf(ForeColour, palette()));
    painter.setBackground(back);
    const QFontMetrics metrics(painter.font());
    const int centreX = bounds.x() + bounds.width() / 2;
    const int centreY = bounds.y() + bounds.height() / 2;
    const QString title = QStringLiteral("DOVA");
    const QString subtitle = QStringLiteral("Virtual Network Computing ActiveX Control");
    painter.drawText(
        QPoint(centreX - metrics.horizontalAdvance(title) / 2, centreY - PlaceholderBaselineOffset), title);
    painter.drawText(
        QPoint(centreX - metrics.horizontalAdvance(subtitle) / 2, centreY + PlaceholderBaselineOffset),
        subtitle);
}

bool CVNCViewer::PaintFrameDirectly(QPainter& painter, const QRect& image, const QRect& dirty, bool stretch) {
    if (stretch) // scaled images always come from the back surface; no need to wait for the frame
        return false;
    // The session thread lets the framebuffer go before it waits for the network, so this wait is short.
    CLockGuard hold(*FrameBuffer);
    if (!CSurfacePresenter::ShowsFrameDirectly(*FrameBuffer, stretch))
        return false;
    const QImage view(static_cast<const uchar*>(FrameBuffer->Data()), FrameBuffer->Width(),
                      FrameBuffer->Height(), FrameBuffer->Stride(), QImage::Format_RGB32);
    const QRect frame(image.topLeft(), view.size());
    const QRect shown = image & frame & dirty;
    if (shown != (image & dirty)) // the frame lags a size change: black until it is rebuilt
        painter.fillRect(image & dirty, Qt::black);
    if (!shown.isEmpty())
        DrawOpaque(painter, shown.topLeft(), view, shown.translated(-image.topLeft()));
    return true;
}

void CVNCViewer::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect client = ClientRect();
    if (HBarShown && VBarShown) // the square between the two bars
        painter.fillRect(QRect(client.right() + 1, client.bottom() + 1, width() - client.width(),
                               height() - client.height()),
                         palette().color(QPalette::Window));
    if (!FrameBuffer) {
        PaintPlaceholder(painter, client);
        return;
    }
    const QRect dirty = event->rect() & client;
    const QColor back = ColourOf(BackColour, palette());
    int32_t scrollH = 0, scrollV = 0;
    get_ScrollPosH(&scrollH);
    get_ScrollPosV(&scrollV);
    const int left = ViewLeftValue(), top = ViewTopValue();
    const int contentWidth = ContentWidth(), contentHeight = ContentHeight();
    const QRect image(left - scrollH, top - scrollV, contentWidth, contentHeight);
    bool stretch;
    {
        CLockGuard hold(*State);
        stretch = State->Stretch;
    }
    if (!PaintFrameDirectly(painter, image, dirty, stretch)) {
        std::lock_guard<std::mutex> hold(Surface.Mutex());
        const QRect surface(image.topLeft(), QSize(Surface.Width(), Surface.Height()));
        const QRect shown = image & surface & dirty;
        if (shown != (image & dirty)) // the surface lags a size change: black until it is rebuilt
            painter.fillRect(image & dirty, Qt::black);
        if (!shown.isEmpty()) {
            const QImage view(reinterpret_cast<const uchar*>(Surface.Data()), Surface.Width(),
                              Surface.Height(), Surface.Stride(), QImage::Format_RGB32);
            DrawOpaque(painter, shown.topLeft(), view, shown.translated(-image.topLeft()));
        }
    }
    if (ReachedConnected) {
        const int right = left + contentWidth, bottom = top + contentHeight;
        const QRect bands[] = {QRect(QPoint(0, 0), QPoint(left - 1, client.bottom())),
                               QRect(QPoint(left, 0), QPoint(right - 1, top - 1)),
                               QRect(QPoint(right, 0), QPoint(client.right(), client.bottom())),
                               QRect(QPoint(left, bottom), QPoint(right - 1, client.bottom()))};
        for (const QRect& band : bands)
            if (const QRect part = band & dirty; !part.isEmpty())
                painter.fillRect(part, back);
    }
}

} // namespace dova
