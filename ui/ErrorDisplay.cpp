#include "ui/ErrorDisplay.h"

#include <QMessageBox>
#include <QWidget>

std::string errorDisplayText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

void showErrorBox(QWidget* parent, const std::string& message) {
    QMessageBox box(QMessageBox::Critical, "Larkspan", QString::fromStdString(errorDisplayText(message)),
                    QMessageBox::Ok, parent);
    box.exec();
}

void setHint(QWidget* widget, const QString& hint) {
    const auto bar = hint.indexOf('|');
    widget->setToolTip(bar < 0 ? hint : hint.left(bar));
    widget->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}
