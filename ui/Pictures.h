#pragma once

#include <QPixmap>

// The program's pictures, drawn at start-up so that no image files need shipping.
namespace Pictures {
QPixmap programIcon(int size);
QPixmap goButton();    // 33 x 33
QPixmap pauseButton(); // 33 x 33
QPixmap stopButton();  // 33 x 33
// One of the ten busy-animation frames, 121 x 89.
QPixmap animationFrame(int frame);
} // namespace Pictures
