#include "hidraw.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace zelkor {
namespace fs = std::filesystem;
namespace {

// Plain system calls: every transaction reads these, and on a busy
// machine a stream's set-up costs more than the read.
// Relative to a directory already opened, so the long sysfs path is walked
// once per node.
std::optional<std::string> ReadSmallFile(int directory, const char* name) {
    const int fd = ::openat(directory, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[4096];  // sysfs attributes are small; cap what we take
    std::size_t got = 0;
    while (got < sizeof buffer) {
        const std::size_t wanted = sizeof buffer - got;
        const ssize_t n = ::read(fd, buffer + got, wanted);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
        if (static_cast<std::size_t>(n) < wanted) break;  // sysfs hands over all it has at once
    }
    ::close(fd);
    return std::string(buffer, got);
}

std::optional<unsigned> ParseHex(const std::string& text, unsigned maxValue) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    if (value > maxValue) return std::nullopt;
    return value;
}

// The USB device above a hidraw node, if there is one (uhid has none). The
// kernel takes ".." after the device link on the real path, so no link is
// resolved here.
std::optional<unsigned> FindBcdDevice(int hidDevice) {
    for (const char* name : {"../bcdDevice", "../../bcdDevice", "../../../bcdDevice"}) {
        if (auto text = ReadSmallFile(hidDevice, name)) {
            std::string digits = *text;
            digits.erase(std::remove_if(digits.begin(), digits.end(),
                                        [](char c) { return c == '\n' || c == ' '; }),
                         digits.end());
            return ParseHex(digits, 0xFFFF);
        }
    }
    return std::nullopt;
}

// hidraw2 before hidraw10.
bool NodeOrder(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::wstring Hex4(unsigned value) {
    wchar_t text[8];
    std::swprintf(text, 8, L"%04X", value & 0xFFFFu);
    return text;
}

}  // namespace

std::optional<HidIds> ParseHidUevent(const std::string& uevent) {
    for (std::size_t start = 0, end; start < uevent.size(); start = end + 1) {
        end = uevent.find('\n', start);
        if (end == std::string::npos) end = uevent.size();
        const std::string line = uevent.substr(start, end - start);
        if (line.rfind("HID_ID=", 0) != 0) continue;
        const std::string value = line.substr(7);
        const auto first = value.find(':');
        const auto second = first == std::string::npos ? first : value.find(':', first + 1);
        if (second == std::string::npos) return std::nullopt;
        auto bus = ParseHex(value.substr(0, first), 0xFFFF);
        auto vendor = ParseHex(value.substr(first + 1, second - first - 1), 0xFFFF);
        auto product = ParseHex(value.substr(second + 1), 0xFFFF);
        if (!bus || !vendor || !product) return std::nullopt;
        return HidIds{*bus, *vendor, *product};
    }
    return std::nullopt;
}

std::vector<std::wstring> HardwareIdsFor(const HidIds& ids, std::optional<unsigned> bcdDevice) {
    const std::wstring base = L"HID\\VID_" + Hex4(ids.vendor) + L"&PID_" + Hex4(ids.product);
    std::vector<std::wstring> list;
    if (bcdDevice) list.push_back(base + L"&REV_" + Hex4(*bcdDevice));
    list.push_back(base);
    return list;
}

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

HidrawBackend::~HidrawBackend() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        WakeWatcherLocked();
    }
    if (watcher_.joinable()) watcher_.join();
    if (heldFd_ >= 0) ::close(heldFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (nodesFd_ >= 0) ::close(nodesFd_);
}

void HidrawBackend::WakeWatcherLocked() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

void HidrawBackend::DropHeldIfGoneLocked() {
    if (heldFd_ < 0) return;
    pollfd pfd{heldFd_, 0, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        ::close(heldFd_);
        heldFd_ = -1;
        heldPath_.clear();
    }
}

// The kernel hangs up the node's descriptors before it removes the node, so
// a removal in its directory is the moment to look. Polling the held
// descriptor itself would wake this thread on every input report.
void HidrawBackend::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {nodesFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        lock.lock();
        if (ready < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(wakeFd_, &count, sizeof count);
        }
        if (fds[1].revents & POLLIN) {
            alignas(inotify_event) char events[4096];
            while (::read(nodesFd_, events, sizeof events) > 0) {
            }
            DropHeldIfGoneLocked();
        }
    }
}

// Called with the lock held, heldFd_ open on path.
void HidrawBackend::WatchNodeDirectoryLocked(const std::string& path) {
    const std::string directory = fs::path(path).parent_path().string();
    if (directory == watchedDirectory_ || nodesFd_ < 0) return;
    if (watchedDirectory_.size()) ::inotify_rm_watch(nodesFd_, watch_);
    watch_ = ::inotify_add_watch(nodesFd_, directory.empty() ? "." : directory.c_str(),
                                 IN_DELETE | IN_MOVED_FROM);
    watchedDirectory_ = watch_ >= 0 ? directory : std::string();
}

void HidrawBackend::Hold(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    DropHeldIfGoneLocked();
    if (heldFd_ >= 0 && heldPath_ == path) return;
    if (heldFd_ >= 0) ::close(heldFd_);
    // Write-only: nothing can ever read it as a reply.
    heldFd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    heldPath_ = heldFd_ >= 0 ? path : std::string();
    if (heldFd_ >= 0 && !watcher_.joinable()) {
        if (wakeFd_ < 0) wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (nodesFd_ < 0) nodesFd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (wakeFd_ >= 0 && nodesFd_ >= 0) {
            // With every signal blocked, none meant for the program lands here.
            sigset_t all, previous;
            sigfillset(&all);
            ::pthread_sigmask(SIG_SETMASK, &all, &previous);
            watcher_ = std::thread([this] { Watch(); });
            ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        }
    }
    if (heldFd_ >= 0) WatchNodeDirectoryLocked(path);
}

std::string HidrawBackend::HeldPath() {
    std::lock_guard<std::mutex> lock(mutex_);
    DropHeldIfGoneLocked();
    return heldPath_;
}

HidHandle HidrawBackend::Open(const std::string& path, int flags) {
    Hold(path);
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        lastOpenErrno_ = errno;
        return kInvalidHandle;
    }
    return fd;
}

HidOpenError HidrawBackend::LastOpenError() {
    std::lock_guard<std::mutex> lock(mutex_);
    const int error = lastOpenErrno_;
    if (error == ENOENT || error == ENODEV || error == ENXIO || error == 0) return {};
    HidOpenError result{std::strerror(error), {}};
    if (error == EACCES || error == EPERM)
        result.advice =
            "to grant access, install the udev rule packaging/70-zelkor.rules "
            "(the package installs it; by hand: sudo cp packaging/70-zelkor.rules /etc/udev/rules.d/ "
            "&& sudo udevadm control --reload-rules && sudo udevadm trigger) and plug the receiver in again";
    return result;
}

namespace {

void Wake(int) {}

// A signal that interrupts a blocked flock at its deadline, or 0 when this
// thread cannot have one (someone else owns it, or it is blocked here).
int WakeSignal() {
    static const int signal = [] {
        const int candidate = SIGRTMIN + 6;
        struct sigaction current {};
        if (::sigaction(candidate, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return 0;
        struct sigaction wake {};
        wake.sa_handler = Wake;  // no SA_RESTART: flock returns EINTR
        sigemptyset(&wake.sa_mask);
        return ::sigaction(candidate, &wake, nullptr) == 0 ? candidate : 0;
    }();
    if (signal == 0) return 0;
    sigset_t blocked;
    if (::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0 || sigismember(&blocked, signal)) return 0;
    return signal;
}

timespec Span(std::chrono::nanoseconds span) {
    return {static_cast<time_t>(span.count() / 1000000000), static_cast<long>(span.count() % 1000000000)};
}

}  // namespace

bool HidrawBackend::Lock(HidHandle handle, int timeoutMs) {
    const int fd = static_cast<int>(handle);
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    // A node that cannot be locked is used as before, without the lock.
    if (errno != EWOULDBLOCK) return true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int signal = WakeSignal();
    timer_t timer{};
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = ::gettid();
    if (signal != 0 && ::timer_create(CLOCK_MONOTONIC, &event, &timer) == 0) {
        // Repeats, in case the first signal lands before flock sleeps.
        const itimerspec when{Span(std::chrono::milliseconds(20)),
                              Span(std::max(deadline - Clock::now(), Clock::duration(1)))};
        ::timer_settime(timer, 0, &when, nullptr);
        bool locked = false;
        while (!locked && Clock::now() < deadline) {
            locked = ::flock(fd, LOCK_EX) == 0;
            if (!locked && errno != EINTR) break;
        }
        ::timer_delete(timer);
        return locked;
    }
    while (Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    }
    return false;
}

std::vector<HidInterfaceInfo> HidrawBackend::Enumerate() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        DropHeldIfGoneLocked();
    }
    std::vector<std::string> nodes;
    const std::string classDir = sysfsRoot_ + "/class/hidraw";
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("hidraw", 0) == 0) nodes.push_back(name);
    }
    std::sort(nodes.begin(), nodes.end(), NodeOrder);

    std::vector<HidInterfaceInfo> devices;
    for (const std::string& node : nodes) {
        HidInterfaceInfo info;
        info.path = devRoot_ + "/" + node;
        const int hidDevice =
            ::open((classDir + "/" + node + "/device").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (hidDevice >= 0) {
            if (auto uevent = ReadSmallFile(hidDevice, "uevent"))
                if (auto ids = ParseHidUevent(*uevent))
                    info.hardwareIds = HardwareIdsFor(*ids, FindBcdDevice(hidDevice));
            ::close(hidDevice);
        }
        devices.push_back(std::move(info));
    }
    return devices;
}

HidHandle HidrawBackend::OpenWrite(const std::string& path) { return Open(path, O_WRONLY); }

HidHandle HidrawBackend::OpenRead(const std::string& path) { return Open(path, O_RDONLY); }

bool HidrawBackend::Write(HidHandle handle, const std::uint8_t* report) {
    // Unnumbered reports: the kernel takes report ID 0 in front and strips it.
    ssize_t written;
    do {
        written = ::write(static_cast<int>(handle), report, REPORT_SIZE);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(REPORT_SIZE);
}

HidIo HidrawBackend::Read(HidHandle handle, std::uint8_t* report, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd pfd{static_cast<int>(handle), POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return HidIo::Failed;
        if (ready == 0) return HidIo::Timeout;
        if (!(pfd.revents & POLLIN)) {  // POLLERR/POLLHUP: unplugged
            std::lock_guard<std::mutex> lock(mutex_);
            DropHeldIfGoneLocked();
            return HidIo::Failed;
        }
        break;
    }
    // The kernel hands back the 64 data bytes without a report ID.
    std::memset(report, 0, REPORT_SIZE);
    ssize_t got;
    do {
        got = ::read(static_cast<int>(handle), report + 1, REPORT_SIZE - 1);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? HidIo::Ok : HidIo::Failed;
}

void HidrawBackend::Close(HidHandle handle) { ::close(static_cast<int>(handle)); }

HidBackend* PlatformHidBackend() {
    static HidrawBackend backend;
    return &backend;
}

}  // namespace zelkor
