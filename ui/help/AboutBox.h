#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <string>

class QPushButton;

// A label that reports a click of the left mouse button, for the About box's link.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The About box: product, version, the maker's notice and the maker's home page as a link.
// Created once and hidden; Present() shows it without making it modal, as often as asked.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(std::string makerHomePage, QWidget* parent = nullptr);

    // Shows the box, centred on the screen when it was hidden, and brings it to the front.
    void Present();

    // Opens the link's address; tests replace it.
    std::function<void(const std::string& address)> OpenAddress;

    // The program's icon, and the name, version and copyright lines beside it.
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    // The maker's home page, opened by a click.
    ClickableLabel* URLLabel = nullptr;
    // Closes the box.
    QPushButton* OKButton = nullptr;

    static constexpr int ClientWidth = 298;
    static constexpr int ClientHeight = 122;

private:
    void URLLabelClick();
};
