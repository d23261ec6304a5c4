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

void copyAnswer(const QByteArray& text, void* buffer) {
    // D2XX answer buffers are 64 bytes: at most 63 characters and a NUL.
    auto* out = static_cast<char*>(buffer);
    const auto n = std::min<qsizetype>(text.size(), 63);
    std::memcpy(out, text.constData(), static_cast<std::size_t>(n));
    out[n] = '\0';
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
    while (!open_.empty()) Close(open_.begin()->first);
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

FT_STATUS TermiosDriver::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return FT_INVALID_PARAMETER;
        listed_ = scan();
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(listed_.size());
        return FT_OK;
    }
    if (!(flags & FT_LIST_BY_INDEX) || !arg2) return FT_INVALID_PARAMETER;
    const auto index = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg1));
    if (listed_.isEmpty()) listed_ = scan();
    if (index >= static_cast<std::uint32_t>(listed_.size())) return FT_DEVICE_NOT_FOUND;
    const Port& port = listed_[static_cast<int>(index)];
    if (flags & FT_OPEN_BY_SERIAL_NUMBER) {
        copyAnswer(port.serial, arg2);
    } else if (flags & FT_OPEN_BY_DESCRIPTION) {
        copyAnswer(port.description, arg2);
    } else {
        return FT_INVALID_PARAMETER;
    }
    return FT_OK;
}

QString TermiosDriver::devicePath(std::uint32_t index) {
    if (index >= static_cast<std::uint32_t>(listed_.size())) return {};
    return listed_[static_cast<int>(index)].path;
}

FT_STATUS TermiosDriver::OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) {
    lastError_.clear();
    if (!serial || !handle || flags != FT_OPEN_BY_SERIAL_NUMBER) return FT_INVALID_PARAMETER;
    const QByteArray wanted(serial);
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
        return FT_DEVICE_NOT_FOUND;
    }
    for (const auto& [h, port] : open_) {
        if (port.path == path) {
            lastError_ =
                QStringLiteral("Cannot open %1: it is already open in this program.").arg(path);
            return FT_DEVICE_NOT_OPENED;
        }
    }

    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            lastError_ = QStringLiteral(
                             "Permission denied opening %1: add yourself to the 'dialout' group "
                             "(sudo usermod -aG dialout $USER, then log in again) or install the "
                             "udev rule from the README.")
                             .arg(path);
            return FT_DEVICE_NOT_OPENED;
        }
        if (error == EBUSY) {
            lastError_ =
                QStringLiteral("Cannot open %1: it is in use by another program.").arg(path);
            return FT_DEVICE_NOT_OPENED;
        }
        if (error == ENOENT || error == ENODEV || error == ENXIO) {
            lastError_ =
                QStringLiteral("Cannot open %1: the device is gone (unplugged?).").arg(path);
            return FT_DEVICE_NOT_FOUND;
        }
        lastError_ = QStringLiteral("Cannot open %1: %2.")
                         .arg(path, QString::fromLocal8Bit(std::strerror(error)));
        return FT_DEVICE_NOT_OPENED;
    }
    // Two programs must never share the pedal: the second one would take the
    // first one's replies.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        lastError_ = QStringLiteral("Cannot open %1: it is in use by another program.").arg(path);
        return FT_DEVICE_NOT_OPENED;
    }
    struct termios attributes {};
    if (::tcgetattr(fd, &attributes) != 0) {
        ::close(fd);
        lastError_ = QStringLiteral("Cannot open %1: it is not a serial port.").arg(path);
        return FT_DEVICE_NOT_OPENED;
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
        return FT_DEVICE_NOT_OPENED;
    }
    const FT_HANDLE h = nextHandle_++;
    if (nextHandle_ == 0) nextHandle_ = 1;
    open_.emplace(h, port);
    *handle = h;
    return FT_OK;
}

TermiosDriver::Open* TermiosDriver::find(FT_HANDLE handle) {
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &it->second;
}

FT_STATUS TermiosDriver::failIo(const Open& port, const char* what, int error) {
    lastError_ =
        QStringLiteral("%1 on %2 failed: %3.")
            .arg(QLatin1String(what), port.path, QString::fromLocal8Bit(std::strerror(error)));
    return FT_IO_ERROR;
}

FT_STATUS TermiosDriver::Close(FT_HANDLE handle) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
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
    return FT_OK;
}

FT_STATUS TermiosDriver::Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                              std::uint32_t* bytesRead) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!bytesRead || (!buffer && toRead > 0)) return FT_INVALID_PARAMETER;
    *bytesRead = 0;
    if (toRead == 0) return FT_OK;
    for (;;) {
        const ssize_t n = ::read(port->fd, buffer, toRead);
        if (n >= 0) {
            *bytesRead = static_cast<std::uint32_t>(n);
            return FT_OK;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return FT_OK;
        return failIo(*port, "Reading", errno);
    }
}

FT_STATUS TermiosDriver::Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                               std::uint32_t* bytesWritten) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!bytesWritten || (!buffer && toWrite > 0)) return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::uint32_t done = 0;
    while (done < toWrite) {
        const ssize_t n = ::write(port->fd, bytes + done, toWrite - done);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            *bytesWritten = done;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return failIo(*port, "Writing", errno);
        }
        // The kernel's buffer is full: wait for room, but not for ever.
        pollfd p{port->fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, timeouts::kWriteStallMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            lastError_ = QStringLiteral("Writing to %1 stalled: %2 of %3 bytes sent.")
                             .arg(port->path)
                             .arg(done)
                             .arg(toWrite);
            return FT_IO_ERROR;
        }
    }
    return FT_OK;
}

FT_STATUS TermiosDriver::applyAttributes(Open& port, const ::termios& attributes) {
    if (::tcsetattr(port.fd, TCSANOW, &attributes) == 0) return FT_OK;
    // A pseudo-terminal has no line: it may refuse settings it cannot carry
    // (parity), which is harmless.
    if (port.kind == DeviceKind::PseudoTerminal) return FT_OK;
    return failIo(port, "Configuring", errno);
}

FT_STATUS TermiosDriver::SetBaudRate(FT_HANDLE handle, std::uint32_t baud) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    speed_t speed{};
    if (!speedFor(baud, &speed)) return FT_INVALID_BAUD_RATE;
    struct termios attributes {};
    if (::tcgetattr(port->fd, &attributes) != 0) return failIo(*port, "Configuring", errno);
    if (::cfsetspeed(&attributes, speed) != 0) return FT_INVALID_BAUD_RATE;
    return applyAttributes(*port, attributes);
}

FT_STATUS TermiosDriver::SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                                std::uint8_t stopBits, std::uint8_t parity) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 2) {
        return FT_INVALID_PARAMETER;
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

FT_STATUS TermiosDriver::Purge(FT_HANDLE handle, std::uint32_t mask) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    const bool rx = mask & FT_PURGE_RX;
    const bool tx = mask & FT_PURGE_TX;
    if (!rx && !tx) return FT_INVALID_PARAMETER;
    const int queue = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
    if (::tcflush(port->fd, queue) != 0) return failIo(*port, "Purging", errno);
    return FT_OK;
}

FT_STATUS TermiosDriver::GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!queued) return FT_INVALID_PARAMETER;
    int count = 0;
    if (::ioctl(port->fd, FIONREAD, &count) != 0) return failIo(*port, "Reading", errno);
    if (count == 0) {
        // Nothing waiting; a hung-up line (adapter pulled, simulator gone)
        // must fail here so that a wait for a reply ends.
        pollfd p{port->fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            lastError_ = QStringLiteral("%1 hung up.").arg(port->path);
            return FT_IO_ERROR;
        }
    }
    *queued = static_cast<std::uint32_t>(count);
    return FT_OK;
}

int TermiosDriver::ReadyFd(FT_HANDLE handle) {
    Open* port = find(handle);
    return port ? port->fd : -1;
}

DeviceKind TermiosDriver::Kind(FT_HANDLE handle) {
    Open* port = find(handle);
    return port ? port->kind : DeviceKind::None;
}

FT_STATUS TermiosDriver::SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (port->kind == DeviceKind::PseudoTerminal) return FT_NOT_SUPPORTED;
    serial_struct info{};
    if (::ioctl(port->fd, TIOCGSERIAL, &info) != 0) return FT_NOT_SUPPORTED;
    const bool wasLow = (info.flags & ASYNC_LOW_LATENCY) != 0;
    if (ms <= 1) {
        info.flags |= ASYNC_LOW_LATENCY;
    } else {
        info.flags &= ~ASYNC_LOW_LATENCY;
    }
    if (::ioctl(port->fd, TIOCSSERIAL, &info) != 0) return FT_NOT_SUPPORTED;
    if (!port->latencyChanged) {
        port->latencyChanged = true;
        port->oldLowLatency = wasLow;
    }
    return FT_OK;
}

FT_STATUS TermiosDriver::GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) {
    Open* port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!ms) return FT_INVALID_PARAMETER;
    if (port->kind == DeviceKind::PseudoTerminal) return FT_NOT_SUPPORTED;
    serial_struct info{};
    if (::ioctl(port->fd, TIOCGSERIAL, &info) != 0) return FT_NOT_SUPPORTED;
    // ftdi_sio runs its latency timer at 1 ms in low-latency mode, 16 ms otherwise.
    *ms = (info.flags & ASYNC_LOW_LATENCY) ? 1 : 16;
    return FT_OK;
}

}  // namespace zendal
