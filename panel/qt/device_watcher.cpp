#include "device_watcher.h"

#include <libudev.h>

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

namespace zelkor::qt {

DeviceWatcher::DeviceWatcher(QObject* parent) : QObject(parent) {
    // Without the daemon the udev source stays silent, so check for it.
    if (QFileInfo::exists(QStringLiteral("/run/udev/control")) && StartUdev()) return;
    StartDirectoryWatch(QStringLiteral("/dev"));
}

DeviceWatcher::DeviceWatcher(const QString& devDirectory, QObject* parent) : QObject(parent) {
    StartDirectoryWatch(devDirectory);
}

DeviceWatcher::~DeviceWatcher() {
    delete notifier_;
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

bool DeviceWatcher::StartUdev() {
    udev_ = udev_new();
    if (udev_) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        if (monitor_) udev_monitor_unref(monitor_);
        if (udev_) udev_unref(udev_);
        monitor_ = nullptr;
        udev_ = nullptr;
        return false;
    }
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
    connect(notifier_, &QSocketNotifier::activated, this, &DeviceWatcher::ReadUdev);
    return true;
}

void DeviceWatcher::ReadUdev() {
    // The monitor's socket does not block: take every queued announcement.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        udev_device_unref(device);
        emit DeviceChanged();
    }
}

void DeviceWatcher::StartDirectoryWatch(const QString& directory) {
    directory_ = directory;
    entries_ = HidrawEntries();
    watcher_ = new QFileSystemWatcher(QStringList{directory}, this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &DeviceWatcher::RescanDirectory);
}

QSet<QString> DeviceWatcher::HidrawEntries() const {
    const QStringList names = QDir(directory_).entryList(QStringList{QStringLiteral("hidraw*")},
                                                         QDir::Files | QDir::System | QDir::Hidden);
    return QSet<QString>(names.begin(), names.end());
}

void DeviceWatcher::RescanDirectory() {
    const QSet<QString> now = HidrawEntries();
    const int changes = int((now - entries_).size() + (entries_ - now).size());
    entries_ = now;
    for (int i = 0; i < changes; ++i) emit DeviceChanged();
}

}  // namespace zelkor::qt
