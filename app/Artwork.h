// The tool's own pictures, drawn in code: product icon, tool-bar icons, arrows and the three list images.
#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

namespace velquin::app {

enum class Picture
{
    Product,
    AddFolder,
    AddExcel,
    RemoveFile,
    Convert,
    Help,
    HomePage,
    Exit,
    ArrowUp,
    ArrowDown,
};

/// The picture at `size` x `size` pixels on a transparent background.
QPixmap drawPicture(Picture picture, int size);
QIcon pictureIcon(Picture picture, int size);

/// The three small images of the input list, index 0..2 for images 1..3: workbook, folder, question mark in a
/// speech balloon.
QList<QIcon> listImages();

} // namespace velquin::app
