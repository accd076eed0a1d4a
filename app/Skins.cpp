#include "Skins.h"

#include <QApplication>
#include <QStyleFactory>

namespace {

QString Wmp11Name() {
    return QStringLiteral("WMP11 (internal)");
}
QString Office2007BlueName() {
    return QStringLiteral("Office2007 Blue (internal)");
}

// Dark glassy look of the media player skin.
const char Wmp11Sheet[] = R"(
QMainWindow, QDialog { background: #1d1f24; }
QScrollArea, QScrollArea > QWidget > QWidget#ScrollBoxContents { background: #15171b; }
QMenuBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b3f47, stop:1 #1c1e22); color: #e8e8e8; }
QMenuBar::item:selected { background: #4a6d92; }
QMenu { background: #25282e; color: #e8e8e8; border: 1px solid #4a4e57; }
QMenu::item:selected { background: #3d6a99; }
QLabel { color: #e8e8e8; }
QPushButton { color: #f0f0f0; border: 1px solid #5a5f69; border-radius: 3px; padding: 3px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #50555e, stop:0.5 #33363c, stop:1 #2a2c31); }
QPushButton:hover { border-color: #7fb2e5; }
QPushButton:disabled { color: #80848c; }
QFrame#TVNCPanel { background: #2a2d33; border: 1px solid #4a4e57; }
QLabel#FTitlePanel { color: #ffffff; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4d5360, stop:1 #30343b); }
QWidget#FViewArea { background: #101114; }
QLabel#FStatusLabel { color: #d0d4da; }
QSlider::groove:horizontal { height: 4px; background: #5a5f69; }
QSlider::handle:horizontal { width: 12px; margin: -6px 0; background: #9fc7ef; border-radius: 3px; }
QWidget#PanelAyar, QWidget#Panel2 { background: #25282e; }
QLabel#sLabelIkonBoyutu { color: #9fc7ef; }
)";

// The light blue ribbon look.
const char Office2007BlueSheet[] = R"(
QMainWindow, QDialog { background: #dfe9f5; }
QScrollArea, QScrollArea > QWidget > QWidget#ScrollBoxContents { background: #e7eef8; }
QMenuBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e3edfa, stop:1 #c4d8f1); color: #15428b; }
QMenuBar::item:selected { background: #ffe7a2; border: 1px solid #ffbd69; }
QMenu { background: #fafafa; color: #15428b; border: 1px solid #8ba0bc; }
QMenu::item:selected { background: #ffe7a2; }
QLabel { color: #15428b; }
QPushButton { color: #15428b; border: 1px solid #8db2e3; border-radius: 3px; padding: 3px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f5f9ff, stop:0.5 #dbe8f9, stop:1 #c7dbf5); }
QPushButton:hover { border-color: #ffb700;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fffbe5, stop:1 #ffd869); }
QPushButton:disabled { color: #8d9bb0; }
QFrame#TVNCPanel { background: #ffffff; border: 1px solid #8db2e3; }
QLabel#FTitlePanel { color: #15428b; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e3edfa, stop:1 #c4d8f1); }
QWidget#FViewArea { background: #f4f8fd; }
QLabel#FStatusLabel { color: #15428b; }
QSlider::groove:horizontal { height: 4px; background: #8db2e3; }
QSlider::handle:horizontal { width: 12px; margin: -6px 0; background: #ffd869; border: 1px solid #c99a2e; border-radius: 3px; }
QWidget#PanelAyar, QWidget#Panel2 { background: #dfe9f5; }
QLabel#sLabelIkonBoyutu { color: rgb(59, 90, 130); }
)";

} // namespace

QString DefaultSkinName() {
    return Office2007BlueName();
}

QStringList BuiltInSkinNames() {
    return {Wmp11Name(), Office2007BlueName()};
}

QString SkinStyleSheet(const QString& name) {
    if (name == Wmp11Name())
        return QString::fromUtf8(Wmp11Sheet);
    return QString::fromUtf8(Office2007BlueSheet);
}

QString ApplySkin(const QString& name) {
    const QString inForce = BuiltInSkinNames().contains(name) ? name : DefaultSkinName();
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
            app->setStyle(fusion);
        app->setStyleSheet(SkinStyleSheet(inForce));
    }
    return inForce;
}
