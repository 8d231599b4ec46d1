#pragma once

#include <QStringList>

// The faces the window asks for, first choice first: the original's, the nearest that Debian
// has, then what any desktop has.
extern const QStringList kSansSerif;
extern const QStringList kTitleFace;

// Makes the faces of Wine's fonts package known where it is installed: its MS Sans Serif has the
// original's metrics, but lies outside the folders that fontconfig searches.
void addWineFaces();
