#include "core/FileIo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace zendal::fileio {

namespace {

QString reason(int errorNumber) {
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// 0, or the errno of the write that failed.
int writeAll(int fd, const QByteArray& bytes) {
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        at += n;
        left -= n;
    }
    return 0;
}

QByteArray directoryOf(const QByteArray& path) {
    const auto slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray baseNameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

struct Resolved {
    QByteArray path;      // the file the links end at (it may not exist yet)
    bool direct = false;  // a link into /proc (/dev/stdout): write through it
};

// Follows symbolic links one by one so that the file they end at is replaced
// and the links stay. False (errno set) on a loop or an unreadable link.
bool resolveLinks(const QByteArray& start, Resolved* out) {
    QByteArray p = start;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.constData(), &st) != 0) {
            if (errno != ENOENT) return false;
            out->path = p;  // a new file, or a link that points to a new file
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            out->path = p;
            return true;
        }
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(p.constData(), target.data(), static_cast<size_t>(PATH_MAX));
        if (n < 0) return false;
        target.truncate(n);
        if (target.startsWith("/proc/")) {
            out->path = start;
            out->direct = true;
            return true;
        }
        p = target.startsWith('/') ? target : directoryOf(p) + '/' + target;
    }
    errno = ELOOP;
    return false;
}

// Devices and FIFOs take the bytes as they are; there is nothing to rename.
bool writeDirect(const QByteArray& path, bool fifo, const QByteArray& bytes, QString* error) {
    // A FIFO nobody reads would block for ever; say so instead.
    const int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_TRUNC | (fifo ? O_NONBLOCK : 0);
    const int fd = openRetrying(path.constData(), flags);
    if (fd < 0) {
        const int e = errno;
        if (error)
            *error =
                fifo && e == ENXIO ? QStringLiteral("no program reads from this FIFO") : reason(e);
        return false;
    }
    if (fifo) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int e = writeAll(fd, bytes);
    if (::close(fd) != 0 && e == 0 && errno != EINTR) e = errno;
    if (e != 0) {
        if (error) *error = reason(e);
        return false;
    }
    return true;
}

bool replaceRegular(const QByteArray& target, const QByteArray& bytes, QString* error) {
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);
    const QByteArray prefix = directoryOf(target) + "/." + baseNameOf(target) + '.';
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = prefix + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        // 0666 less the umask, as any new file gets.
        fd = openRetrying(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        if (error) *error = reason(errno);
        return false;
    }
    if (exists) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::geteuid() == 0) (void)!::fchown(fd, old.st_uid, old.st_gid);
    }
    int e = writeAll(fd, bytes);
    // Some file systems report a full disk only here.
    if (e == 0 && ::fsync(fd) != 0 && errno != EINVAL) e = errno;
    if (::close(fd) != 0 && e == 0 && errno != EINTR) e = errno;
    if (e == 0 && ::rename(temporary.constData(), target.constData()) != 0) e = errno;
    if (e != 0) {
        ::unlink(temporary.constData());
        if (error) *error = reason(e);
        return false;
    }
    return true;
}

}  // namespace

QString tooLargeText(qint64 limit) {
    return QStringLiteral("larger than %1 bytes").arg(limit);
}

ReadResult readAtMost(const QString& path, qint64 limit) {
    ReadResult r;
    const QByteArray native = QFile::encodeName(path);
    // Opened without waiting: a FIFO nobody writes to reads as empty instead of
    // blocking for ever. Reads wait as usual.
    const int fd = openRetrying(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        r.error = reason(errno);
        return r;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QByteArray bytes;
    char buffer[65536];
    while (bytes.size() <= limit) {
        const auto want =
            static_cast<size_t>(std::min<qint64>(sizeof buffer, limit + 1 - bytes.size()));
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            r.error = reason(errno);
            ::close(fd);
            return r;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<qsizetype>(n));
    }
    ::close(fd);
    if (bytes.size() > limit) {
        r.tooLarge = true;
        r.error = tooLargeText(limit);
        return r;
    }
    r.bytes = bytes;
    return r;
}

void ignoreFileSizeSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

bool saveFile(const QString& path, const QByteArray& bytes, QString* error) {
    ignoreFileSizeSignal();
    if (path.isEmpty()) {
        if (error) *error = QStringLiteral("no file name given");
        return false;
    }
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (!exists && errno != ENOENT) {
        if (error) *error = reason(errno);
        return false;
    }
    if (exists && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)))
        return writeDirect(native, S_ISFIFO(st.st_mode), bytes, error);
    if (exists && !S_ISREG(st.st_mode)) {
        if (error)
            *error = S_ISDIR(st.st_mode)
                         ? reason(EISDIR)
                         : QStringLiteral("not a regular file, character device or FIFO");
        return false;
    }
    Resolved resolved;
    if (!resolveLinks(native, &resolved)) {
        if (error) *error = reason(errno);
        return false;
    }
    if (resolved.direct) return writeDirect(native, false, bytes, error);
    return replaceRegular(resolved.path, bytes, error);
}

StandardOutput::StandardOutput(int fd) : fd_(fd) {
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

QString StandardOutput::failure() const {
    return errorNumber_ != 0 ? reason(errorNumber_) : QString();
}

qint64 StandardOutput::readData(char*, qint64) {
    return -1;
}

qint64 StandardOutput::writeData(const char* data, qint64 size) {
    if (errorNumber_ != 0) return -1;
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, static_cast<size_t>(size - done));
        if (n >= 0) {
            done += n;
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, -1);
            continue;
        }
        errorNumber_ = errno;
        setErrorString(reason(errorNumber_));
        return -1;
    }
    return done;
}

}  // namespace zendal::fileio
