#pragma once

#include <QIcon>

// The window's icon, drawn here so that it needs no image plugin: a page of log lines, one of
// them marked, under a magnifying glass.
QIcon appIcon();
