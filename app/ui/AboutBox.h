#pragma once
// The about box component of the main window: holds the texts set before each showing and the product
// picture, and shows the about window TAboutF, made anew for every showing.

#include <QObject>
#include <QPixmap>
#include <QString>

class TAboutBox : public QObject {
    Q_OBJECT
public:
    explicit TAboutBox(QObject* owner = nullptr);

    QString Caption;     // the window title: the main window's caption
    QString ProgramName; // the heading and the first line of the information text
    QPixmap Picture;     // the product picture

    // Shows the about window modally over parent and destroys it afterwards.
    void Execute(QWidget* parent);
};
