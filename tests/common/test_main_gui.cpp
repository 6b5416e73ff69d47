#include <QApplication>
#include <gtest/gtest.h>

#include "platform/EventLoopQt.h"
#include "tests/common/StateHome.h"

// Widget tests run without a display on Qt's offscreen platform.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    TestStateHome stateHome;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
