#include "window/font_faces.h"

const QStringList kSansSerif = {"MS Sans Serif",   "Microsoft Sans Serif", "Tahoma",
                                "Liberation Sans", "DejaVu Sans",          "Sans Serif"};
const QStringList kTitleFace = {"Copperplate Gothic Bold", "Copperplate Gothic", "Liberation Serif",
                                "DejaVu Serif", "Serif"};
