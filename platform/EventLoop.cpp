#include "platform/EventLoop.h"

#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace {

std::unique_ptr<EventLoop>& installed() {
    static std::unique_ptr<EventLoop> loop;
    return loop;
}

std::mutex& handlerMutex() {
    static std::mutex mutex;
    return mutex;
}

EventLoop::ExceptionHandler& exceptionHandler() {
    static EventLoop::ExceptionHandler handler;
    return handler;
}

} // namespace

EventLoop& EventLoop::instance() {
    auto& loop = installed();
    // Every main installs its loop before anything waits; one that forgot is a fault of the
    // program, said plainly instead of crashing on a null loop.
    if (!loop) throw std::logic_error("EventLoop::instance: no event loop was installed");
    return *loop;
}

void EventLoop::install(std::unique_ptr<EventLoop> loop) {
    if (installed()) throw std::logic_error("EventLoop::install: an event loop is already in use");
    installed() = std::move(loop);
}

void EventLoop::setExceptionHandler(ExceptionHandler handler) {
    std::lock_guard lock(handlerMutex());
    exceptionHandler() = std::move(handler);
}

void EventLoop::handleException(std::exception_ptr error) {
    ExceptionHandler handler;
    {
        std::lock_guard lock(handlerMutex());
        handler = exceptionHandler();
    }
    if (handler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Unhandled exception in an event handler: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Unhandled exception in an event handler\n");
    }
}
