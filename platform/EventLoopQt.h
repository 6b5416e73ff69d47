#pragma once

#include "platform/EventLoop.h"

#include <map>
#include <memory>

class QObject;

// The event loop on top of Qt's: QSocketNotifier for descriptors, QTimer for timers and
// QCoreApplication::processEvents for pumping. Needs a QCoreApplication (or a subclass).
class EventLoopQt final : public EventLoop {
public:
    EventLoopQt();
    ~EventLoopQt() override;

    Handle watchDescriptor(int fd, Readiness readiness, Callback callback) override;
    void setWatchEnabled(Handle handle, bool enabled) override;
    void unwatchDescriptor(Handle handle) override;
    Handle startTimer(std::chrono::milliseconds interval, TimerMode mode, Callback callback) override;
    void killTimer(Handle handle) override;
    void post(Callback callback) override;
    void pump(PumpMode mode) override;
    void wake() override;

private:
    struct Entry;
    enum class InsideSignal { No, Yes };
    void dispatch(Handle handle);
    void release(Handle handle, InsideSignal inside);
    static void dispose(Entry& entry, InsideSignal inside);

    std::map<Handle, std::shared_ptr<Entry>> entries_;
    Handle nextHandle_ = 1;
    std::unique_ptr<QObject> context_;
};
