#include "ui/help/AboutBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace {

int visibleTopLevelAboutBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += (w->isVisible() && qobject_cast<TAboutBox*>(w)) ? 1 : 0;
    return n;
}

} // namespace

TEST(AboutBox, ShownTwiceIsOneNonModalFixedBoxCentredOnTheScreen) {
    QWidget mainWindow;
    mainWindow.show();
    TAboutBox about("http://www.tessaly.com", &mainWindow);
    EXPECT_FALSE(about.isVisible());

    about.Present();
    about.Present();
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(visibleTopLevelAboutBoxes(), 1);
    EXPECT_FALSE(about.isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(mainWindow.isEnabled());

    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(298, 122));
    EXPECT_EQ(about.minimumSize(), QSize(298, 122));
    EXPECT_EQ(about.maximumSize(), QSize(298, 122));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((about.geometry().center() - screen.center()).manhattanLength(), 2);

    EXPECT_EQ(about.ProductName->text(), "Larkspan");
    EXPECT_EQ(about.Version->text(), "Version 2.0");
    EXPECT_TRUE(about.Copyright->text().contains("Tessaly"));
    EXPECT_EQ(about.URLLabel->text(), "http://www.tessaly.com");
    EXPECT_EQ(about.ProgramIcon->pixmap().size(), QSize(73, 65));
    EXPECT_EQ(about.OKButton->text(), "OK");
    EXPECT_TRUE(about.OKButton->isDefault());

    // Every line fits inside the box.
    for (QWidget* w : std::initializer_list<QWidget*>{about.ProgramIcon, about.ProductName, about.Version,
                                                      about.Copyright, about.URLLabel, about.OKButton}) {
        const QRect r(w->mapTo(&about, QPoint(0, 0)), w->size());
        EXPECT_TRUE(about.rect().contains(r)) << w->objectName().toStdString();
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString() << " is cut short";
    }

    // A box moved by the user stays where it is when asked for again while open.
    about.move(about.pos() + QPoint(20, 0));
    const QPoint moved = about.pos();
    about.Present();
    EXPECT_EQ(about.pos(), moved);

    about.OKButton->click();
    EXPECT_FALSE(about.isVisible());
    about.Present();
    EXPECT_TRUE(about.isVisible());
    EXPECT_LE((about.geometry().center() - screen.center()).manhattanLength(), 2);
}

TEST(AboutBox, URLLabelLooksLikeALinkAndAClickOpensTheAddress) {
    TAboutBox about("http://www.example.org");
    std::vector<std::string> opened;
    about.OpenAddress = [&](const std::string& address) { opened.push_back(address); };
    about.Present();

    const QColor purple(0x80, 0x00, 0x80);
    EXPECT_EQ(about.URLLabel->palette().color(QPalette::WindowText), purple);
    EXPECT_TRUE(about.URLLabel->font().underline());
    EXPECT_EQ(about.URLLabel->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(about.ProductName->font().underline());

    QTest::mouseClick(about.URLLabel, Qt::RightButton);
    EXPECT_TRUE(opened.empty());
    QTest::mouseClick(about.URLLabel, Qt::LeftButton);
    EXPECT_EQ(opened, (std::vector<std::string>{"http://www.example.org"}));
    // The box stays open after the link was followed.
    EXPECT_TRUE(about.isVisible());
}
