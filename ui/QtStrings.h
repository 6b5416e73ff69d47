#pragma once

#include <QString>
#include <string>

// Cell, field and file text is UTF-8 bytes; it becomes a QString only at the widget boundary.
inline QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}
