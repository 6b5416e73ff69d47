#pragma once

#include <QString>
#include <QWidget>
#include <cstdio>

// Saves what the widget shows as DIR/NAME.png and prints the file's path, so that the calling
// script can list what it made.
inline bool saveGrab(QWidget& widget, const QString& dir, const char* name) {
    const QString file = QString("%1/%2.png").arg(dir, name);
    if (!widget.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}
