#include "ui/help/AboutBox.h"

#include "platform/ShellOpen.h"
#include "ui/Pictures.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

namespace {

// The home page's address looks like a visited link and clicks like one; it cannot be selected.
void styleAsLink(QLabel* label) {
    QPalette linkColours = label->palette();
    linkColours.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x80));
    label->setPalette(linkColours);
    QFont underlined = label->font();
    underlined.setUnderline(true);
    label->setFont(underlined);
    label->setCursor(Qt::PointingHandCursor);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
}

} // namespace

TAboutBox::TAboutBox(std::string makerHomePage, QWidget* parent) : QDialog(parent) {
    OpenAddress = shellOpen;
    setWindowTitle("About");
    setModal(false);
    setSizeGripEnabled(false);
    // The box is laid out for the small dialog font, like the main window.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(ClientWidth, ClientHeight);

    auto* panel = new QFrame;
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ProgramIcon = new QLabel;
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setPixmap(
        Pictures::programIcon(128).scaled(73, 65, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    ProgramIcon->setFixedSize(73, 65);

    ProductName = new QLabel("Larkspan");
    ProductName->setObjectName("ProductName");
    Version = new QLabel("Version 2.0");
    Version->setObjectName("Version");
    Copyright = new QLabel(QString::fromUtf8("Copyright \xC2\xA9 2000 Tessaly"));
    Copyright->setObjectName("Copyright");
    URLLabel = new ClickableLabel(
        QString::fromUtf8(makerHomePage.data(), static_cast<qsizetype>(makerHomePage.size())));
    URLLabel->setObjectName("URLLabel");
    styleAsLink(URLLabel);
    connect(URLLabel, &ClickableLabel::clicked, this, &TAboutBox::URLLabelClick);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(1);
    for (QLabel* l : {ProductName, Version, Copyright, static_cast<QLabel*>(URLLabel)})
        lines->addWidget(l);
    lines->addStretch();
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(6, 4, 6, 4);
    panelLayout->setSpacing(10);
    panelLayout->addWidget(ProgramIcon, 0, Qt::AlignTop);
    panelLayout->addLayout(lines, 1);

    OKButton = new QPushButton("OK");
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 6);
    layout->setSpacing(6);
    layout->addWidget(panel, 1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
}

void TAboutBox::Present() {
    if (!isVisible()) {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    show();
    raise();
    activateWindow();
}

void TAboutBox::URLLabelClick() {
    // The shell's answer is not reported: a missing browser leaves nothing to say.
    if (OpenAddress) OpenAddress(URLLabel->text().toStdString());
}
