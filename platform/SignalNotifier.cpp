#include "platform/SignalNotifier.h"

#include "platform/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the pipe of the one notifier per process that a handler can reach.
volatile std::sig_atomic_t signalPipe = -1;

extern "C" void writeToPipe(int) {
    const int saved = errno;
    const char byte = 1;
    if (signalPipe >= 0) (void)!::write(signalPipe, &byte, 1);
    errno = saved;
}

} // namespace

SignalNotifier::SignalNotifier(int signal, std::function<void()> callback) : signal_(signal) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw LarkspanError("Cannot watch for signals");
    signalPipe = pipe_[1];
    watch_ = EventLoop::instance().watchDescriptor(pipe_[0], EventLoop::Readiness::Read,
                                                   [this, callback = std::move(callback)] {
                                                       char bytes[16];
                                                       while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
                                                       }
                                                       raised_ = true;
                                                       callback();
                                                   });
    struct sigaction action {};
    action.sa_handler = writeToPipe;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_, &action, &previous_);
}

SignalNotifier::~SignalNotifier() {
    ::sigaction(signal_, &previous_, nullptr);
    signalPipe = -1;
    EventLoop::instance().unwatchDescriptor(watch_);
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}
