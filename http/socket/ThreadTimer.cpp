#include "http/socket/ThreadTimer.h"

#include "platform/Error.h"

TThreadTimer::~TThreadTimer() {
    if (timer_) EventLoop::instance().killTimer(timer_);
}

void TThreadTimer::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    rearm();
}

void TThreadTimer::setInterval(std::uint32_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    rearm();
}

void TThreadTimer::setOnTimer(NotifyEvent handler) {
    onTimer_ = std::move(handler);
    rearm();
}

void TThreadTimer::rearm() {
    EventLoop& loop = EventLoop::instance();
    if (timer_) {
        loop.killTimer(timer_);
        timer_ = 0;
    }
    if (interval_ == 0 || !enabled_ || !onTimer_) return;
    timer_ = loop.startTimer(std::chrono::milliseconds(interval_), EventLoop::TimerMode::Repeating,
                             [this] { tick(); });
    if (!timer_) throw LarkspanError("No Timer");
}

void TThreadTimer::tick() {
    // The handler may change or destroy this timer, so it runs from a copy.
    NotifyEvent handler = onTimer_;
    if (!handler) return;
    try {
        handler(*this);
    } catch (...) {
        EventLoop::handleException(std::current_exception());
    }
}
