#include "platform/ShellOpen.h"

#include <QDesktopServices>
#include <QUrl>

void shellOpen(const std::string& target) {
    QDesktopServices::openUrl(
        QUrl::fromUserInput(QString::fromUtf8(target.data(), static_cast<qsizetype>(target.size()))));
}
