#include "core/StopRequest.h"

#include <atomic>
#include <csignal>
#include <cstdio>

namespace Vrenn {

namespace {
// Lock-free atomics are safe to touch from a signal handler.
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
std::atomic<bool> g_requested{false};
std::atomic<int> g_signal{0};

extern "C" void onStopSignal(int signal) {
    g_signal.store(signal);
    if (g_requested.exchange(true)) {
        // Asked twice: whatever is running has not noticed the first; end now.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}
} // namespace

void installStopSignalHandlers() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopRequested() {
    return g_requested.load();
}

int stopSignal() {
    return g_signal.load();
}

void requestStop(int signal) {
    g_signal.store(signal);
    g_requested.store(true);
}

void clearStopRequest() {
    g_requested.store(false);
    g_signal.store(0);
}

void endByStopSignal() {
    const int signal = g_signal.load();
    if (!g_requested.load() || signal == 0) return;
    std::fflush(nullptr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace Vrenn
