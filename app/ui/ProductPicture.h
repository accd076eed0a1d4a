#pragma once
// The product picture of the about window, drawn rather than carried as an image file.

#include <QPixmap>
#include <QSize>

QPixmap DrawProductPicture(const QSize& size);
