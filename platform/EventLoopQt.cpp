#include "platform/EventLoopQt.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <stdexcept>

// One watch or timer. The Qt object is deleted only when no call of the callback is on the
// stack, because a callback may remove its own entry (or destroy its owner, which removes it).
struct EventLoopQt::Entry {
    Callback callback;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> timer;
    int running = 0;
    bool removed = false;
};

EventLoopQt::EventLoopQt() : context_(std::make_unique<QObject>()) {
    if (!QCoreApplication::instance())
        throw std::logic_error("EventLoopQt needs a QCoreApplication in the main thread");
}

EventLoopQt::~EventLoopQt() {
    for (auto& [handle, entry] : entries_) {
        entry->removed = true;
        if (entry->notifier) entry->notifier->setEnabled(false);
        if (entry->timer) entry->timer->stop();
    }
}

EventLoop::Handle EventLoopQt::watchDescriptor(int fd, Readiness readiness, Callback callback) {
    const Handle handle = nextHandle_++;
    auto entry = std::make_shared<Entry>();
    entry->callback = std::move(callback);
    const auto type = readiness == Readiness::Read ? QSocketNotifier::Read : QSocketNotifier::Write;
    entry->notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), type);
    QObject::connect(entry->notifier.get(), &QSocketNotifier::activated, context_.get(),
                     [this, handle] { dispatch(handle); });
    entries_.emplace(handle, std::move(entry));
    return handle;
}

void EventLoopQt::setWatchEnabled(Handle handle, bool enabled) {
    auto it = entries_.find(handle);
    if (it == entries_.end() || !it->second->notifier) return;
    it->second->notifier->setEnabled(enabled);
}

void EventLoopQt::unwatchDescriptor(Handle handle) {
    release(handle, InsideSignal::No);
}

EventLoop::Handle EventLoopQt::startTimer(std::chrono::milliseconds interval, TimerMode mode,
                                          Callback callback) {
    if (interval.count() < 0 || interval.count() > INT32_MAX) return 0;
    const Handle handle = nextHandle_++;
    auto entry = std::make_shared<Entry>();
    entry->callback = std::move(callback);
    entry->timer = std::make_unique<QTimer>();
    entry->timer->setTimerType(Qt::PreciseTimer);
    entry->timer->setSingleShot(mode == TimerMode::SingleShot);
    entry->timer->setInterval(static_cast<int>(interval.count()));
    QObject::connect(entry->timer.get(), &QTimer::timeout, context_.get(), [this, handle, mode] {
        dispatch(handle);
        if (mode == TimerMode::SingleShot) release(handle, InsideSignal::Yes);
    });
    entry->timer->start();
    if (!entry->timer->isActive()) return 0;
    entries_.emplace(handle, std::move(entry));
    return handle;
}

void EventLoopQt::killTimer(Handle handle) {
    release(handle, InsideSignal::No);
}

void EventLoopQt::post(Callback callback) {
    QMetaObject::invokeMethod(
        context_.get(),
        [callback = std::move(callback)] {
            try {
                callback();
            } catch (...) {
                EventLoop::handleException(std::current_exception());
            }
        },
        Qt::QueuedConnection);
}

void EventLoopQt::pump(PumpMode mode) {
    const auto flags =
        mode == PumpMode::WaitForEvents ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents;
    QCoreApplication::processEvents(flags);
}

void EventLoopQt::wake() {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(context_->thread())) dispatcher->wakeUp();
}

void EventLoopQt::dispatch(Handle handle) {
    auto it = entries_.find(handle);
    if (it == entries_.end()) return;
    // Holding the entry keeps the callback and the Qt object alive while the callback runs,
    // even if it removes itself.
    std::shared_ptr<Entry> entry = it->second;
    if (entry->removed) return;
    ++entry->running;
    try {
        entry->callback();
    } catch (...) {
        EventLoop::handleException(std::current_exception());
    }
    --entry->running;
    // The callback removed its own entry: Qt is still inside the object's signal, so the
    // object goes when control is back in the event loop.
    if (entry->removed && entry->running == 0) dispose(*entry, InsideSignal::Yes);
}

void EventLoopQt::dispose(Entry& entry, InsideSignal inside) {
    if (inside == InsideSignal::Yes) {
        if (entry.notifier) entry.notifier.release()->deleteLater();
        if (entry.timer) entry.timer.release()->deleteLater();
    } else {
        entry.notifier.reset();
        entry.timer.reset();
    }
}

void EventLoopQt::release(Handle handle, InsideSignal inside) {
    auto it = entries_.find(handle);
    if (it == entries_.end()) return;
    std::shared_ptr<Entry> entry = std::move(it->second);
    entries_.erase(it);
    entry->removed = true;
    if (entry->notifier) entry->notifier->setEnabled(false);
    if (entry->timer) entry->timer->stop();
    // While its callback runs, dispatch() disposes of it once the callback has returned.
    if (entry->running == 0) dispose(*entry, inside);
}
