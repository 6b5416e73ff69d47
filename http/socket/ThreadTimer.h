#pragma once

#include "platform/EventLoop.h"

#include <cstdint>
#include <functional>

// A periodic timer on the main thread's event loop.
//
// It runs while Enabled is true, Interval is not 0 and OnTimer is set; every change re-arms it,
// so a change of Interval restarts the full interval. An exception from OnTimer goes to the
// event loop's exception handler and does not propagate. Failing to obtain a platform timer
// throws LarkspanError "No Timer".
class TThreadTimer {
public:
    using NotifyEvent = std::function<void(TThreadTimer& sender)>;

    TThreadTimer() = default;
    ~TThreadTimer();
    TThreadTimer(const TThreadTimer&) = delete;
    TThreadTimer& operator=(const TThreadTimer&) = delete;

    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    std::uint32_t Interval() const { return interval_; }
    void setInterval(std::uint32_t milliseconds);
    const NotifyEvent& OnTimer() const { return onTimer_; }
    // Always re-arms, also when the handler is the same.
    void setOnTimer(NotifyEvent handler);

private:
    void rearm();
    void tick();

    bool enabled_ = true;
    std::uint32_t interval_ = 1000;
    NotifyEvent onTimer_;
    EventLoop::Handle timer_ = 0;
};
