#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "hidraw.h"

namespace zelkor {
namespace {
namespace fs = std::filesystem;

TEST(HidUevent, ParsesTheHidIdLine) {
    struct Case {
        const char* text;
        bool ok;
        unsigned bus, vendor, product;
    } cases[] = {
        {"DRIVER=hid-generic\nHID_ID=0003:000004D8:0000FB31\nHID_NAME=x\n", true, 3, 0x04D8, 0xFB31},
        {"HID_ID=0006:000004d8:0000fb31", true, 6, 0x04D8, 0xFB31},
        {"HID_ID=0003:000004D8\n", false, 0, 0, 0},
        {"HID_ID=0003:0001FFFF:00000001\n", false, 0, 0, 0},
        {"HID_ID=0003:00zz04D8:0000FB31\n", false, 0, 0, 0},
        {"HID_ID=::\n", false, 0, 0, 0},
        {"HID_NAME=no id\n", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto ids = ParseHidUevent(c.text);
        ASSERT_EQ(ids.has_value(), c.ok) << c.text;
        if (!ids) continue;
        EXPECT_EQ(ids->bus, c.bus);
        EXPECT_EQ(ids->vendor, c.vendor);
        EXPECT_EQ(ids->product, c.product);
    }
}

// A sysfs tree as the kernel lays it out: a USB receiver with a bcdDevice,
// a uhid device with no USB parent, and a node whose uevent is missing.
class HidrawFixture : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("zelkor-sysfs-" + std::to_string(::getpid()));
        fs::remove_all(root);
        const fs::path usb = root / "devices/pci0000:00/usb1/1-1";
        const fs::path hid = usb / "1-1:1.0/0003:04D8:FB31.0001";
        Write(usb / "bcdDevice", "0213\n");
        Write(hid / "uevent", "DRIVER=hid-generic\nHID_ID=0003:000004D8:0000FB31\n");
        const fs::path virt = root / "devices/virtual/misc/uhid/0006:045E:0001.0002";
        Write(virt / "uevent", "HID_ID=0006:0000045E:00000001\n");
        fs::create_directories(root / "devices/virtual/broken");
        fs::create_directories(root / "class/hidraw/hidraw10");
        fs::create_directories(root / "class/hidraw/hidraw2");
        fs::create_directories(root / "class/hidraw/hidraw0");
        fs::create_directory_symlink(hid, root / "class/hidraw/hidraw10/device");
        fs::create_directory_symlink(virt, root / "class/hidraw/hidraw2/device");
        fs::create_directory_symlink(root / "devices/virtual/broken", root / "class/hidraw/hidraw0/device");
    }
    void TearDown() override { fs::remove_all(root); }
    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    fs::path root;
};

TEST_F(HidrawFixture, ListsNodesInNumericOrderWithWindowsStyleHardwareIds) {
    HidrawBackend backend(root.string(), "/dev");
    const auto devices = backend.Enumerate();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].path, "/dev/hidraw0");
    EXPECT_TRUE(devices[0].hardwareIds.empty());
    EXPECT_EQ(devices[1].path, "/dev/hidraw2");
    EXPECT_EQ(devices[1].hardwareIds, (std::vector<std::wstring>{L"HID\\VID_045E&PID_0001"}));
    EXPECT_EQ(devices[2].path, "/dev/hidraw10");
    EXPECT_EQ(devices[2].hardwareIds,
              (std::vector<std::wstring>{L"HID\\VID_04D8&PID_FB31&REV_0213", L"HID\\VID_04D8&PID_FB31"}));
}

TEST(HidrawBackendTest, NoHidrawClassMeansNoDevices) {
    HidrawBackend backend("/nonexistent-sysfs", "/dev");
    EXPECT_TRUE(backend.Enumerate().empty());
    EXPECT_EQ(backend.OpenWrite("/nonexistent-dev/hidraw0"), kInvalidHandle);
    EXPECT_EQ(backend.OpenRead("/nonexistent-dev/hidraw0"), kInvalidHandle);
}

// A socket pair stands in for a hidraw node: it keeps message boundaries,
// and the peer plays the kernel's side.
TEST(HidrawBackendTest, ReadsPutTheReportIdInFrontAndTimeOutOrFailCleanly) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
    ::signal(SIGPIPE, SIG_IGN);  // a socket, unlike hidraw, raises it
    HidrawBackend backend;
    std::uint8_t report[REPORT_SIZE];

    EXPECT_EQ(backend.Read(pair[0], report, 50), HidIo::Timeout);

    std::uint8_t reply[64] = {0x9d, 0x01, 0x25};
    ASSERT_EQ(::write(pair[1], reply, 64), 64);
    ASSERT_EQ(backend.Read(pair[0], report, 1000), HidIo::Ok);
    EXPECT_EQ(report[0], 0);
    EXPECT_EQ(report[2], 1);
    EXPECT_EQ(report[3], 0x25);

    std::uint8_t out[REPORT_SIZE] = {0, 0x66};
    EXPECT_TRUE(backend.Write(pair[0], out));
    std::uint8_t seen[128];
    EXPECT_EQ(::read(pair[1], seen, sizeof seen), 65);

    ::close(pair[1]);  // the device goes away
    EXPECT_EQ(backend.Read(pair[0], report, 1000), HidIo::Failed);
    EXPECT_FALSE(backend.Write(pair[0], out));
    backend.Close(pair[0]);
}

}  // namespace
}  // namespace zelkor

namespace zelkor {
namespace {

// Two nodes that are plain files: the backend keeps one descriptor on the
// node last opened, follows the receiver to another node, and the lock on a
// node is seen by another process.
class HidrawNodes : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zelkor-nodes-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* node : {"hidraw0", "hidraw1"}) std::ofstream(dir / node) << "";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Node(const char* name) const { return (dir / name).string(); }
    static std::size_t OpenDescriptors() {
        std::size_t count = 0;
        for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++count;
        return count;
    }
    fs::path dir;
};

TEST_F(HidrawNodes, HoldsOneDescriptorOnTheNodeLastOpened) {
    const std::size_t before = OpenDescriptors();
    {
        HidrawBackend backend;
        EXPECT_EQ(backend.HeldPath(), "");
        for (const char* node : {"hidraw0", "hidraw0", "hidraw1"}) {
            const HidHandle w = backend.OpenWrite(Node(node));
            const HidHandle r = backend.OpenRead(Node(node));
            EXPECT_EQ(backend.HeldPath(), Node(node));
            backend.Close(w);
            backend.Close(r);
            EXPECT_EQ(OpenDescriptors(), before + 3)
                << node << ": the node's, the watcher's wake-up and its view of the node's directory";
        }
        EXPECT_EQ(backend.OpenWrite(Node("missing")), kInvalidHandle);
        EXPECT_EQ(backend.LastOpenError().reason, "") << "a node that is not there is simply absent";
        EXPECT_EQ(OpenDescriptors(), before + 2) << "nothing held on a node that could not be opened";
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

// A FIFO stands in for a node whose device goes away: the held descriptor
// writes to it, and when its last reader goes, the held one sees POLLERR as
// it would see POLLHUP on hidraw; then the node goes, as the kernel removes
// it after hanging up its descriptors.
TEST_F(HidrawNodes, TheHeldDescriptorIsDroppedAsSoonAsItsDeviceGoes) {
    const std::string node = (dir / "hidraw5").string();
    ASSERT_EQ(::mkfifo(node.c_str(), 0600), 0);
    const int device = ::open(node.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(device, 0);
    HidrawBackend backend;
    const std::size_t before = OpenDescriptors();
    const HidHandle w = backend.OpenWrite(node);
    ASSERT_NE(w, kInvalidHandle);
    backend.Close(w);
    EXPECT_EQ(OpenDescriptors(), before + 3)
        << "the held descriptor, the watcher's wake-up and its view of the node's directory";
    ::close(device);  // one descriptor fewer: the device's own
    ::unlink(node.c_str());
    // Not a word to the backend: its watcher notices by itself.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (OpenDescriptors() != before + 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(OpenDescriptors(), before + 1) << "the held one dropped without waiting for the next transaction";
    EXPECT_EQ(backend.HeldPath(), "");
}

TEST_F(HidrawNodes, AnOpenRefusedForAnotherReasonIsReportedWithIt) {
    fs::create_directory(dir / "hidraw2");  // EISDIR when opened for writing
    HidrawBackend backend;
    EXPECT_EQ(backend.OpenWrite(Node("hidraw2")), kInvalidHandle);
    const HidOpenError error = backend.LastOpenError();
    EXPECT_EQ(error.reason, std::strerror(EISDIR));
    EXPECT_EQ(error.advice, "") << "the udev rule only helps with permissions";
}

TEST_F(HidrawNodes, TheLockIsSharedWithOtherProcessesAndItsWaitIsBounded) {
    struct Case {
        const char* name;
        int heldMs;  // by the other process
        int timeoutMs;
        bool locked;
    } cases[] = {
        {"given back within the bound", 200, 2000, true},
        {"kept past the bound", 3000, 300, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(Node("hidraw0").c_str(), O_WRONLY);
            ::flock(fd, LOCK_EX);
            (void)!::write(ready[1], "x", 1);
            ::usleep(static_cast<useconds_t>(c.heldMs) * 1000);
            ::_exit(0);
        }
        char byte;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        HidrawBackend backend;
        const HidHandle w = backend.OpenWrite(Node("hidraw0"));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(backend.Lock(w, c.timeoutMs), c.locked);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(c.timeoutMs + 1000));
        if (!c.locked) {
            EXPECT_GE(took, std::chrono::milliseconds(c.timeoutMs));
        }
        backend.Close(w);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
    }
}

}  // namespace
}  // namespace zelkor
