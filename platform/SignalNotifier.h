#pragma once

#include "platform/EventLoop.h"

#include <csignal>
#include <functional>

// Delivers a POSIX signal as a callback on the event loop, for as long as it lives: the handler
// only writes a byte to a pipe that the loop watches, which is all a signal handler may safely
// do. The first signal goes to the callback; the handler is then reset, so a second one does
// what the signal does by default (Ctrl+C twice ends the program at once). The previous handler
// comes back when the notifier goes.
class SignalNotifier {
public:
    SignalNotifier(int signal, std::function<void()> callback);
    ~SignalNotifier();
    SignalNotifier(const SignalNotifier&) = delete;
    SignalNotifier& operator=(const SignalNotifier&) = delete;

    // The signal has arrived.
    bool raised() const { return raised_; }

private:
    int signal_;
    int pipe_[2] = {-1, -1};
    struct sigaction previous_ {};
    EventLoop::Handle watch_ = 0;
    bool raised_ = false;
};
