#include "http/socket/ThreadTimer.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

void pumpFor(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    EventLoop& loop = EventLoop::instance();
    int guard = 0;
    const auto wake = loop.startTimer(5ms, EventLoop::TimerMode::Repeating, [&] { ++guard; });
    while (std::chrono::steady_clock::now() < end)
        loop.pump(EventLoop::PumpMode::WaitForEvents);
    loop.killTimer(wake);
}

} // namespace

TEST(ThreadTimer, TicksOnlyWhenEnabledWithAnIntervalAndAHandler) {
    TThreadTimer timer;
    int ticks = 0;
    timer.setInterval(10);
    pumpFor(60ms);
    EXPECT_EQ(ticks, 0);
    timer.setOnTimer([&](TThreadTimer&) { ++ticks; });
    pumpFor(100ms);
    EXPECT_GE(ticks, 3);
    timer.setEnabled(false);
    const int stopped = ticks;
    pumpFor(60ms);
    EXPECT_EQ(ticks, stopped);
    timer.setEnabled(true);
    timer.setInterval(0);
    pumpFor(60ms);
    EXPECT_EQ(ticks, stopped);
}

TEST(ThreadTimer, HandlerExceptionsGoToTheExceptionHandlerAndTheTimerMayStopItself) {
    std::string caught;
    EventLoop::setExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            caught = x.what();
        }
    });
    TThreadTimer timer;
    int ticks = 0;
    timer.setInterval(10);
    timer.setOnTimer([&](TThreadTimer& t) {
        ++ticks;
        t.setEnabled(false);
        throw std::runtime_error("from the handler");
    });
    pumpFor(80ms);
    EventLoop::setExceptionHandler(nullptr);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(caught, "from the handler");
}
