#pragma once
// The two built-in skins, drawn with Qt style sheets over the Fusion style. The chosen skin's name is
// what the saved settings keep.

#include <QString>
#include <QStringList>

QString DefaultSkinName();      // "Office2007 Blue (internal)"
QStringList BuiltInSkinNames(); // in menu order
// Applies the named skin to the whole application; an unknown name falls back to the default.
// Returns the name in force.
QString ApplySkin(const QString& name);
QString SkinStyleSheet(const QString& name);
