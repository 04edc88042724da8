#pragma once

#include <QIcon>

// The toolbar's pictures, drawn by the program (32 by 32 pixels).
enum class ToolPicture
{
    Execute,
    New,
    Copy,
    Edit,
    Delete,
    Options,
    About,
    Help,
    Exit
};

QIcon toolIcon(ToolPicture picture);
// The about window's picture.
QPixmap aboutPicture(int width, int height);
