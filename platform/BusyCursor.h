#pragma once

// The hourglass shown while an export works. The window implements it with the
// application's override cursor; headless runs and most tests pass no cursor at all.
class BusyCursor {
public:
    virtual ~BusyCursor() = default;
    virtual void ShowBusy() = 0;
    // Called from destructors during stack unwinding, so it must not throw.
    virtual void RestoreDefault() noexcept = 0;
};

// Shows the busy cursor for its lifetime. Holding one in an export brings the default
// cursor back on every way out of it, an exception included.
class BusyScope {
public:
    explicit BusyScope(BusyCursor* cursor) : cursor_(cursor) {
        if (cursor_) cursor_->ShowBusy();
    }
    ~BusyScope() {
        if (cursor_) cursor_->RestoreDefault();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    BusyCursor* cursor_;
};
