#include <QCoreApplication>
#include <gtest/gtest.h>

#include "platform/EventLoopQt.h"
#include "tests/common/StateHome.h"

// Tests of code that waits on the event loop need an application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    TestStateHome stateHome;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
