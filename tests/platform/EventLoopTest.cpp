#include "platform/EventLoop.h"
#include "platform/HostLookup.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

EventLoop& loop() {
    return EventLoop::instance();
}

// Pumps until the condition holds or two seconds have passed.
template <typename Condition> bool pumpUntil(Condition condition) {
    const auto end = std::chrono::steady_clock::now() + 2s;
    const auto tick = loop().startTimer(5ms, EventLoop::TimerMode::Repeating, [] {});
    while (!condition() && std::chrono::steady_clock::now() < end)
        loop().pump(EventLoop::PumpMode::WaitForEvents);
    loop().killTimer(tick);
    return condition();
}

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
};

// An object that owns a watch and may be destroyed by the callback of that watch.
struct Owner {
    EventLoop::Handle watch = 0;
    int* calls;
    Owner(int fd, int* counter, std::unique_ptr<Owner>* self) : calls(counter) {
        watch = loop().watchDescriptor(fd, EventLoop::Readiness::Read, [this, self] {
            ++*calls;
            self->reset(); // destroys this object from inside its own callback
        });
    }
    ~Owner() { loop().unwatchDescriptor(watch); }
};

} // namespace

TEST(EventLoop, WatchFiresWhileReadableAndStopsWhenDisabledOrRemoved) {
    Pipe pipe;
    int calls = 0;
    char byte = 0;
    const auto watch = loop().watchDescriptor(pipe.fds[0], EventLoop::Readiness::Read, [&] { ++calls; });
    loop().pump(EventLoop::PumpMode::DontWait);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(::write(pipe.fds[1], "a", 1), 1);
    EXPECT_TRUE(pumpUntil([&] { return calls >= 2; })) << "level-triggered: fires again while readable";
    loop().setWatchEnabled(watch, false);
    const int disabled = calls;
    loop().pump(EventLoop::PumpMode::DontWait);
    EXPECT_EQ(calls, disabled);
    ASSERT_EQ(::read(pipe.fds[0], &byte, 1), 1);
    loop().setWatchEnabled(watch, true);
    loop().unwatchDescriptor(watch);
    ASSERT_EQ(::write(pipe.fds[1], "b", 1), 1);
    for (int i = 0; i < 5; ++i)
        loop().pump(EventLoop::PumpMode::DontWait);
    EXPECT_EQ(calls, disabled);
}

TEST(EventLoop, CallbackMayDestroyItsOwnerAndOthersInANestedPump) {
    Pipe pipe;
    int calls = 0;
    auto owner = std::make_unique<std::unique_ptr<Owner>>();
    *owner = std::make_unique<Owner>(pipe.fds[0], &calls, owner.get());
    // A second owner on the same descriptor is destroyed by a timer while a nested pump runs.
    int otherCalls = 0;
    auto other = std::make_unique<std::unique_ptr<Owner>>();
    *other = std::make_unique<Owner>(pipe.fds[0], &otherCalls, other.get());
    bool nestedDone = false;
    loop().startTimer(1ms, EventLoop::TimerMode::SingleShot, [&] {
        ASSERT_EQ(::write(pipe.fds[1], "x", 1), 1);
        // The nested pump delivers the readiness; both owners die inside it.
        pumpUntil([&] { return !*owner && !*other; });
        nestedDone = true;
    });
    EXPECT_TRUE(pumpUntil([&] { return nestedDone; }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(otherCalls, 1);
    for (int i = 0; i < 5; ++i)
        loop().pump(EventLoop::PumpMode::DontWait);
    EXPECT_EQ(calls, 1);
}

TEST(EventLoop, TimersRunOnceOrRepeatAndAKilledTimerNeverFiresAgain) {
    int once = 0, repeated = 0, victim = 0;
    loop().startTimer(5ms, EventLoop::TimerMode::SingleShot, [&] { ++once; });
    EventLoop::Handle victimTimer =
        loop().startTimer(15ms, EventLoop::TimerMode::Repeating, [&] { ++victim; });
    EventLoop::Handle self = 0;
    self = loop().startTimer(5ms, EventLoop::TimerMode::Repeating, [&] {
        if (++repeated == 3) {
            loop().killTimer(self); // kills itself from its own callback
            loop().killTimer(victimTimer);
        }
    });
    EXPECT_TRUE(pumpUntil([&] { return repeated >= 3; }));
    const int victimAtKill = victim;
    pumpUntil([] { return false; });
    EXPECT_EQ(once, 1);
    EXPECT_EQ(repeated, 3);
    EXPECT_EQ(victim, victimAtKill);
}

TEST(EventLoop, PostFromAnotherThreadWakesAWaitingPump) {
    bool ran = false;
    std::thread::id ranOn;
    std::thread worker([&] {
        std::this_thread::sleep_for(20ms);
        loop().post([&] {
            ran = true;
            ranOn = std::this_thread::get_id();
        });
    });
    const auto start = std::chrono::steady_clock::now();
    while (!ran && std::chrono::steady_clock::now() - start < 2s)
        loop().pump(EventLoop::PumpMode::WaitForEvents);
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    std::thread waker([] {
        std::this_thread::sleep_for(20ms);
        loop().wake();
    });
    loop().pump(EventLoop::PumpMode::WaitForEvents); // must return after the wake
    waker.join();
}

TEST(EventLoop, HostLookupAnswersOnTheMainThread) {
    bool done = false;
    HostLookupResult result;
    std::thread::id answeredOn;
    lookupHostAsync("localhost", [&](const HostLookupResult& r) {
        result = r;
        done = true;
        answeredOn = std::this_thread::get_id();
    });
    EXPECT_FALSE(done) << "the answer must come through the event loop";
    EXPECT_TRUE(pumpUntil([&] { return done; }));
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(result.address, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
}
