#pragma once
// Keeps the local pointer inside one widget's window while the mouse trap is on. On X11 this is a
// pointer grab whose confine-to window is the widget's own; elsewhere (offscreen, Wayland) there is
// no confinement and Confine reports false without a fuss.

class QWidget;

namespace dova {

class CPointerConfinement {
public:
    CPointerConfinement() = default;
    ~CPointerConfinement();
    CPointerConfinement(const CPointerConfinement&) = delete;
    CPointerConfinement& operator=(const CPointerConfinement&) = delete;

    // True when the pointer is now held inside the widget's window.
    bool Confine(QWidget& widget);
    void Release();
    bool Active() const { return Confined; }

private:
    bool Confined = false;
};

} // namespace dova
