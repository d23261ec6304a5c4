#include "link/TermiosDriver.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/Timeouts.h"

namespace zendal {

namespace {

constexpr const char* kFtdiVendor = "0403";

QByteArray readAttribute(const QString& dir, const char* name) {
    QFile f(dir + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().trimmed();
}

// The USB device folder above a tty's device link: the first ancestor that
// carries idVendor (the interface for ttyUSB sits one level lower than for ttyACM).
QString usbDeviceFolder(const QString& ttyFolder) {
    QString dir = QFileInfo(ttyFolder + QStringLiteral("/device")).canonicalFilePath();
    for (int level = 0; level < 5 && dir.size() > 1; ++level) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) return dir;
        dir = QFileInfo(dir).path();
    }
    return {};
}

// ttyUSB10 after ttyUSB9.
bool portNameLess(const QString& a, const QString& b) {
    auto split = [](const QString& name) {
        int i = static_cast<int>(name.size());
        while (i > 0 && name.at(i - 1).isDigit()) --i;
        return std::make_pair(name.left(i), name.mid(i).toLongLong());
    };
    return split(a) < split(b);
}

QString permissionRemedy(const QString& path) {
    return QStringLiteral(
               "Permission denied opening %1: add yourself to the 'dialout' group "
               "(sudo usermod -aG dialout $USER, then log in again) or install the "
               "udev rule from the README.")
        .arg(path);
}

bool speedFor(std::uint32_t baud, speed_t* speed) {
    static const std::pair<std::uint32_t, speed_t> table[] = {
        {300, B300},         {600, B600},         {1200, B1200},       {2400, B2400},
        {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
        {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
        {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {3000000, B3000000},
    };
    for (const auto& [rate, code] : table) {
        if (rate == baud) {
            *speed = code;
            return true;
        }
    }
    return false;
}

bool isPtyDevice(dev_t rdev) {
    // Unix98 pseudo-terminal slaves use majors 136 to 143.
    const unsigned m = major(rdev);
    return m >= 136 && m <= 143;
}

}  // namespace

TermiosDriver::TermiosDriver() : TermiosDriver(Options{}) {}

TermiosDriver::TermiosDriver(Options options) : options_(std::move(options)) {}

TermiosDriver::~TermiosDriver() {
    while (!open_.empty()) close(open_.begin()->first);
}

QStringList TermiosDriver::extraPortsFromEnvironment() {
    const QString value = qEnvironmentVariable("ZENDAL_EXTRA_PORTS");
    return value.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

void TermiosDriver::addExtraPort(const QString& path) {
    if (!options_.extraPorts.contains(path)) options_.extraPorts.append(path);
}

bool TermiosDriver::isPseudoTerminal(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    return S_ISCHR(st.st_mode) && isPtyDevice(st.st_rdev);
}

QVector<TermiosDriver::Port> TermiosDriver::scan() const {
    QVector<Port> ports;
    if (options_.scanSystemPorts) {
        QDir root(options_.sysfsTtyRoot);
        QStringList names = root.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                                           QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end(), portNameLess);
        for (const QString& name : names) {
            const QString usb = usbDeviceFolder(root.filePath(name));
            if (usb.isEmpty()) continue;
            if (readAttribute(usb, "idVendor").toLower() != kFtdiVendor) continue;
            Port port;
            port.path = options_.devRoot + QLatin1Char('/') + name;
            port.serial = readAttribute(usb, "serial");
            if (port.serial.isEmpty()) port.serial = QFile::encodeName(port.path);
            port.description = readAttribute(usb, "product");
            if (port.description.isEmpty()) port.description = kSerialDescription;
            ports.append(port);
        }
        // A chip with several UARTs gives every port the same USB serial; tell
        // them apart the way FTDI's library does, with a letter per port.
        for (int i = 0; i < ports.size(); ++i) {
            const QByteArray serial = ports[i].serial;
            int count = 0;
            for (const Port& p : ports) count += p.serial == serial ? 1 : 0;
            if (count < 2) continue;
            char letter = 'A';
            for (Port& p : ports) {
                if (p.serial == serial) p.serial += letter++;
            }
        }
    }
    for (const QString& path : options_.extraPorts) {
        if (!QFileInfo::exists(path)) continue;
        const bool known = std::any_of(ports.begin(), ports.end(), [&](const Port& p) {
            return QFileInfo(p.path).canonicalFilePath() == QFileInfo(path).canonicalFilePath();
        });
        if (known) continue;
        Port port;
        port.path = path;
        port.serial = QFile::encodeName(path);
        port.description = isPseudoTerminal(path) ? kPtyDescription : kSerialDescription;
        ports.append(port);
    }
    return ports;
}

DeviceListing TermiosDriver::listDevices() {
    DeviceListing listing;
    for (const Port& port : scan()) {
        DeviceEntry entry;
        entry.serial = port.serial;
        entry.description = port.description;
        entry.path = port.path;
        entry.kind =
            isPseudoTerminal(port.path) ? DeviceKind::PseudoTerminal : DeviceKind::Hardware;
        if (::access(QFile::encodeName(port.path).constData(), R_OK | W_OK) != 0 &&
            (errno == EACCES || errno == EPERM)) {
            entry.openable = false;
            entry.whyNot = permissionRemedy(port.path);
        }
        for (const auto& [h, open] : open_) {
            if (open.path == port.path) {
                entry.openable = false;
                entry.whyNot = QStringLiteral("%1 is open in this program.").arg(port.path);
            }
        }
        listing.devices.push_back(entry);
    }
    return listing;
}

Opened TermiosDriver::open(const QByteArray& wanted) {
    lastError_.clear();
    QString path;
    for (const Port& p : scan()) {
        if (p.serial == wanted) {
            path = p.path;
            break;
        }
    }
    if (path.isEmpty()) {
        lastError_ = QStringLiteral("No serial port with serial number %1 is attached.")
                         .arg(QString::fromLocal8Bit(wanted));
        return {PortStatus::DeviceNotFound, {}};
    }
    for (const auto& [h, port] : open_) {
        if (port.path == path) {
            lastError_ =
                QStringLiteral("Cannot open %1: it is already open in this program.").arg(path);
            return {PortStatus::DeviceNotOpened, {}};
        }
    }

    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            lastError_ = permissionRemedy(path);
            return {PortStatus::DeviceNotOpened, {}};
        }
        if (error == EBUSY) {
            lastError_ =
                QStringLiteral("Cannot open %1: it is in use by another program.").arg(path);
            return {PortStatus::DeviceNotOpened, {}};
        }
        if (error == ENOENT || error == ENODEV || error == ENXIO) {
            lastError_ =
                QStringLiteral("Cannot open %1: the device is gone (unplugged?).").arg(path);
            return {PortStatus::DeviceNotFound, {}};
        }
        lastError_ = QStringLiteral("Cannot open %1: %2.")
                         .arg(path, QString::fromLocal8Bit(std::strerror(error)));
        return {PortStatus::DeviceNotOpened, {}};
    }
    // Two programs must never share the pedal: the second one would take the
    // first one's replies.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        lastError_ = QStringLiteral("Cannot open %1: it is in use by another program.").arg(path);
        return {PortStatus::DeviceNotOpened, {}};
    }
    struct termios attributes {};
    if (::tcgetattr(fd, &attributes) != 0) {
        ::close(fd);
        lastError_ = QStringLiteral("Cannot open %1: it is not a serial port.").arg(path);
        return {PortStatus::DeviceNotOpened, {}};
    }
    Open port;
    port.fd = fd;
    port.path = path;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && isPtyDevice(st.st_rdev)) {
        port.kind = DeviceKind::PseudoTerminal;
    }
    ::cfmakeraw(&attributes);
    attributes.c_cflag |= CLOCAL | CREAD;
    attributes.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &attributes) != 0 && port.kind != DeviceKind::PseudoTerminal) {
        const int error = errno;
        ::close(fd);
        lastError_ = QStringLiteral("Cannot configure %1: %2.")
                         .arg(path, QString::fromLocal8Bit(std::strerror(error)));
        return {PortStatus::DeviceNotOpened, {}};
    }
    const PortHandle h{nextHandle_++};
    if (nextHandle_ == 0) nextHandle_ = 1;
    open_.emplace(h, port);
    return {PortStatus::Ok, h};
}

TermiosDriver::Open* TermiosDriver::find(PortHandle handle) {
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &it->second;
}

PortStatus TermiosDriver::failIo(const Open& port, const char* what, int error) {
    // The kernel says so when the adapter was pulled out under us.
    if (error == EIO || error == ENODEV || error == ENXIO) {
        lastError_ = QStringLiteral("%1 is gone (unplugged?).").arg(port.path);
        return PortStatus::Unplugged;
    }
    lastError_ =
        QStringLiteral("%1 on %2 failed: %3.")
            .arg(QLatin1String(what), port.path, QString::fromLocal8Bit(std::strerror(error)));
    return PortStatus::IoError;
}

PortStatus TermiosDriver::hungUp(const Open& port) {
    pollfd p{port.fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        lastError_ = QStringLiteral("%1 hung up.").arg(port.path);
        return PortStatus::Unplugged;
    }
    return PortStatus::Ok;
}

PortStatus TermiosDriver::close(PortHandle handle) {
    Open* port = find(handle);
    if (!port) return PortStatus::InvalidHandle;
    if (port->latencyChanged) {
        serial_struct info{};
        if (::ioctl(port->fd, TIOCGSERIAL, &info) == 0) {
            if (port->oldLowLatency) {
                info.flags |= ASYNC_LOW_LATENCY;
            } else {
                info.flags &= ~ASYNC_LOW_LATENCY;
            }
            ::ioctl(port->fd, TIOCSSERIAL, &info);
        }
    }
    ::close(port->fd);  // also drops the lock
    open_.erase(handle);
    return PortStatus::Ok;
}

Transferred TermiosDriver::read(PortHandle handle, std::span<std::uint8_t> into) {
    Open* port = find(handle);
    if (!port) return {PortStatus::InvalidHandle, 0};
    if (into.empty()) return {hungUp(*port), 0};
    for (;;) {
        const ssize_t n = ::read(port->fd, into.data(), into.size());
        if (n > 0) return {PortStatus::Ok, static_cast<std::size_t>(n)};
        // End of file on a tty: the other side hung up.
        if (n == 0) return {hungUp(*port), 0};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {PortStatus::Ok, 0};
        return {failIo(*port, "Reading", errno), 0};
    }
}

Transferred TermiosDriver::write(PortHandle handle, std::span<const std::uint8_t> bytes) {
    Open* port = find(handle);
    if (!port) return {PortStatus::InvalidHandle, 0};
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(port->fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return {failIo(*port, "Writing", errno), done};
        }
        // The kernel's buffer is full: wait for room, but not for ever.
        pollfd p{port->fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, timeouts::kWriteStallMs);
        } while (ready < 0 && errno == EINTR);
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            lastError_ = QStringLiteral("%1 hung up.").arg(port->path);
            return {PortStatus::Unplugged, done};
        }
        if (ready <= 0) {
            lastError_ = QStringLiteral("Writing to %1 stalled: %2 of %3 bytes sent.")
                             .arg(port->path)
                             .arg(done)
                             .arg(bytes.size());
            return {PortStatus::IoError, done};
        }
    }
    return {PortStatus::Ok, done};
}

PortStatus TermiosDriver::applyAttributes(Open& port, const ::termios& attributes) {
    if (::tcsetattr(port.fd, TCSANOW, &attributes) == 0) return PortStatus::Ok;
    // A pseudo-terminal has no line: it may refuse settings it cannot carry
    // (parity), which is harmless.
    if (port.kind == DeviceKind::PseudoTerminal) return PortStatus::Ok;
    return failIo(port, "Configuring", errno);
}

PortStatus TermiosDriver::setBaudRate(PortHandle handle, std::uint32_t baud) {
    Open* port = find(handle);
    if (!port) return PortStatus::InvalidHandle;
    speed_t speed{};
    if (!speedFor(baud, &speed)) return PortStatus::InvalidBaudRate;
    struct termios attributes {};
    if (::tcgetattr(port->fd, &attributes) != 0) return failIo(*port, "Configuring", errno);
    if (::cfsetspeed(&attributes, speed) != 0) return PortStatus::InvalidBaudRate;
    return applyAttributes(*port, attributes);
}

PortStatus TermiosDriver::setFraming(PortHandle handle, Framing framing) {
    Open* port = find(handle);
    if (!port) return PortStatus::InvalidHandle;
    const auto [wordLength, stopBits, parity] = framing;
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 2) {
        return PortStatus::InvalidParameter;
    }
    struct termios attributes {};
    if (::tcgetattr(port->fd, &attributes) != 0) return failIo(*port, "Configuring", errno);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
    attributes.c_cflag |= wordLength == 7 ? CS7 : CS8;
    if (stopBits == 2) attributes.c_cflag |= CSTOPB;
    if (parity == 1) attributes.c_cflag |= PARENB | PARODD;
    if (parity == 2) attributes.c_cflag |= PARENB;
    return applyAttributes(*port, attributes);
}

PortStatus TermiosDriver::purge(PortHandle handle, PurgeQueue queues) {
    Open* port = find(handle);
    if (!port) return PortStatus::InvalidHandle;
    const int queue = queues == PurgeQueue::Both
                          ? TCIOFLUSH
                          : (queues == PurgeQueue::Receive ? TCIFLUSH : TCOFLUSH);
    if (::tcflush(port->fd, queue) != 0) return failIo(*port, "Purging", errno);
    return PortStatus::Ok;
}

Transferred TermiosDriver::queued(PortHandle handle) {
    Open* port = find(handle);
    if (!port) return {PortStatus::InvalidHandle, 0};
    int count = 0;
    if (::ioctl(port->fd, FIONREAD, &count) != 0) return {failIo(*port, "Reading", errno), 0};
    // Nothing waiting; a hung-up line (adapter pulled, simulator gone) must
    // fail here so that a wait for a reply ends.
    if (count == 0) return {hungUp(*port), 0};
    return {PortStatus::Ok, static_cast<std::size_t>(count)};
}

int TermiosDriver::readyFd(PortHandle handle) {
    Open* port = find(handle);
    return port ? port->fd : -1;
}

DeviceKind TermiosDriver::kind(PortHandle handle) {
    Open* port = find(handle);
    return port ? port->kind : DeviceKind::None;
}

PortStatus TermiosDriver::setLatencyTimer(PortHandle handle, std::uint8_t ms) {
    Open* port = find(handle);
    if (!port) return PortStatus::InvalidHandle;
    if (port->kind == DeviceKind::PseudoTerminal) return PortStatus::NotSupported;
    serial_struct info{};
    if (::ioctl(port->fd, TIOCGSERIAL, &info) != 0) return PortStatus::NotSupported;
    const bool wasLow = (info.flags & ASYNC_LOW_LATENCY) != 0;
    if (ms <= 1) {
        info.flags |= ASYNC_LOW_LATENCY;
    } else {
        info.flags &= ~ASYNC_LOW_LATENCY;
    }
    if (::ioctl(port->fd, TIOCSSERIAL, &info) != 0) return PortStatus::NotSupported;
    if (!port->latencyChanged) {
        port->latencyChanged = true;
        port->oldLowLatency = wasLow;
    }
    return PortStatus::Ok;
}

PortStatus TermiosDriver::latencyTimer(PortHandle handle, std::uint8_t& ms) {
    Open* port = find(handle);
    if (!port) return PortStatus::InvalidHandle;
    if (port->kind == DeviceKind::PseudoTerminal) return PortStatus::NotSupported;
    serial_struct info{};
    if (::ioctl(port->fd, TIOCGSERIAL, &info) != 0) return PortStatus::NotSupported;
    // ftdi_sio runs its latency timer at 1 ms in low-latency mode, 16 ms otherwise.
    ms = (info.flags & ASYNC_LOW_LATENCY) ? 1 : 16;
    return PortStatus::Ok;
}

}  // namespace zendal
