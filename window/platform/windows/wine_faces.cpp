#include "window/font_faces.h"

// Windows has the faces itself.
void addWineFaces() {}
