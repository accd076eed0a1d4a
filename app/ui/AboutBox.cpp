#include "AboutBox.h"

#include "AboutF.h"
#include "ProductPicture.h"

TAboutBox::TAboutBox(QObject* owner)
    : QObject(owner), Picture(DrawProductPicture(QSize(TAboutF::PictureWidth, TAboutF::ClientHeight))) {}

void TAboutBox::Execute(QWidget* parent) {
    TAboutF window(Caption, ProgramName, Picture, parent);
    window.exec();
}
