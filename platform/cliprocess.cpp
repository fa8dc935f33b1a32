#include "platform/cliprocess.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <semaphore.h>
#include <thread>
#include <unistd.h>

namespace kormial::platform {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kStopSignals)];
std::atomic<int> g_signal{0};
// Posted by a stop signal and by the end of the work of runUntilDone: the
// one thing the calling thread waits on (sem_post may be called from a
// signal handler).
sem_t g_wake;

sem_t& wake()
{
    static const bool made = sem_init(&g_wake, 0, 0) == 0;
    (void)made;
    return g_wake;
}

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal)) {
        sem_post(&g_wake);
    }
    // the next one ends the program at once
    restoreStopSignals();
}

}  // namespace

bool prepareStandardStreams()
{
    std::signal(SIGPIPE, SIG_IGN);
    if (::fcntl(STDERR_FILENO, F_GETFD) == -1) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0 && null != STDERR_FILENO) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    return ::fcntl(STDOUT_FILENO, F_GETFD) != -1;
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void catchStopSignals()
{
    wake();  // ready before a handler can post it
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // a status line being written when one comes is still written
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) {
            sigaction(kStopSignals[i], &sa, nullptr);
        }
    }
}

void restoreStopSignals()
{
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
}

int stopSignal()
{
    return g_signal.load();
}

void runUntilDone(const std::function<void()>& work, const std::function<void()>& onStop)
{
    sem_t& woken = wake();
    std::atomic<bool> done{false};
    std::jthread worker([&] {
        work();
        done.store(true);
        sem_post(&woken);
    });
    bool told = false;
    while (!done.load()) {
        if (sem_wait(&woken) != 0) {
            continue;  // EINTR: a signal came
        }
        if (!told && stopSignal() != 0) {
            told = true;
            onStop();
        }
    }
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

int brokenPipeStatus()
{
    return 128 + SIGPIPE;
}

int writeStdout(std::string_view text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t w = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (w >= 0) {
            done += static_cast<std::size_t>(w);
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int writeStdoutAndClose(std::string_view text)
{
    int error = writeStdout(text);
    // close reports what a file system could only find out at the end
    if (::close(STDOUT_FILENO) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    return error;
}

bool isBrokenPipe(int error)
{
    return error == EPIPE;
}

}  // namespace kormial::platform
