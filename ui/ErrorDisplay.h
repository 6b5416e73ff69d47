#pragma once

#include <QString>
#include <string>

class QWidget;

// The text the general error display shows: the message, with a "." added when its last
// character sorts after ".".
std::string errorDisplayText(const std::string& message);
// The general error display: a box titled "Larkspan" with a stop icon and OK.
void showErrorBox(QWidget* parent, const std::string& message);
// Splits a hint into its short part (tooltip) and long part (status line); a hint without
// "|" is both.
void setHint(QWidget* widget, const QString& hint);
