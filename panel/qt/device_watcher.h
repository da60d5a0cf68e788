// Tells when a hidraw device comes or goes. With a udev daemon running it
// listens to udev's own announcements, which come after the rules (such as
// the one granting the seat's user access) have run; without one it
// watches the device directory for hidraw entries.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QFileSystemWatcher;
class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace zelkor::qt {

class DeviceWatcher final : public QObject {
    Q_OBJECT
public:
    // udev when /run/udev/control exists, else /dev.
    explicit DeviceWatcher(QObject* parent = nullptr);
    // For tests: watch `devDirectory` only, never udev.
    DeviceWatcher(const QString& devDirectory, QObject* parent);
    ~DeviceWatcher() override;

    bool UsesUdev() const { return monitor_ != nullptr; }

signals:
    // One per device added or removed.
    void DeviceChanged();

private:
    bool StartUdev();
    void StartDirectoryWatch(const QString& directory);
    void ReadUdev();
    void RescanDirectory();
    QSet<QString> HidrawEntries() const;

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
    QString directory_;
    QSet<QString> entries_;
};

}  // namespace zelkor::qt
