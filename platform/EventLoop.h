#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

// The main thread's event loop, as the rest of the program sees it.
//
// Socket readiness, timers and work handed over from other threads all arrive here as
// callbacks on the main thread. Code that has to wait for the network keeps the window alive
// by pumping this loop (pump) instead of blocking.
//
// One implementation is chosen once per process, in main (install); the program, the tests and
// the benchmarks install the Qt backend (EventLoopQt), which this interface knows nothing of.
//
// Callbacks may remove their own watch or timer, or destroy the object that owns them, while
// they run, also from inside a nested pump: the backend keeps the callback alive until it has
// returned and never calls a callback after its handle was removed.
class EventLoop {
public:
    // Identifies a watch or a timer; 0 is never a valid handle.
    using Handle = std::uint64_t;
    using Callback = std::function<void()>;

    enum class Readiness { Read, Write };
    enum class TimerMode { Repeating, SingleShot };
    enum class PumpMode { WaitForEvents, DontWait };

    virtual ~EventLoop() = default;

    // Calls the callback on the main thread whenever the descriptor is ready for the given
    // kind of access (level-triggered: again and again while it stays ready). Main thread only.
    virtual Handle watchDescriptor(int fd, Readiness readiness, Callback callback) = 0;
    // Stops and restarts the calls without giving the handle up.
    virtual void setWatchEnabled(Handle handle, bool enabled) = 0;
    enum class Watch { On, Off };
    void setWatch(Handle handle, Watch state) { setWatchEnabled(handle, state == Watch::On); }
    virtual void unwatchDescriptor(Handle handle) = 0;

    // Starts a timer; returns 0 when the platform refuses one. Main thread only.
    virtual Handle startTimer(std::chrono::milliseconds interval, TimerMode mode, Callback callback) = 0;
    virtual void killTimer(Handle handle) = 0;

    // Runs the callback on the main thread at its next pump. Safe from any thread.
    virtual void post(Callback callback) = 0;

    // Handles the pending events. WaitForEvents first blocks until at least one event has
    // arrived or wake() was called; DontWait returns at once when nothing is pending.
    virtual void pump(PumpMode mode) = 0;

    // Ends a pump that is blocked waiting. Safe from any thread.
    virtual void wake() = 0;

    // The process's event loop.
    static EventLoop& instance();
    // Chooses the event loop for the rest of the process; call it once, before first use.
    static void install(std::unique_ptr<EventLoop> loop);

    // Where an exception goes that a callback could not handle and that must not unwind
    // through the loop (the application's exception handler). The default prints it.
    using ExceptionHandler = std::function<void(std::exception_ptr)>;
    static void setExceptionHandler(ExceptionHandler handler);
    static void handleException(std::exception_ptr error);
};
