#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace zendal {

namespace {

qint64 steadyNowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PtyServer::PtyServer(VirtualPedal& pedal) : pedal_(pedal) {}

PtyServer::~PtyServer() {
    close();
}

void PtyServer::close() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    unsent_.clear();
}

void PtyServer::followPlug() {
    // An unplug and replug between two looks still ends the old line.
    if (master_ >= 0 && (!pedal_.plugged() || pedal_.plugGeneration() != openGeneration_)) {
        close();  // the host's slave descriptor hangs up
    }
    if (pedal_.plugged() && master_ < 0) {
        QString error;
        const bool opened = open(&error);
        if (replugHandler_) replugHandler_(opened ? slavePath_ : QString());
    }
}

bool PtyServer::open(QString* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    };
    openGeneration_ = pedal_.plugGeneration();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return fail("posix_openpt");
    if (::grantpt(master_) != 0) return fail("grantpt");
    if (::unlockpt(master_) != 0) return fail("unlockpt");
    const char* name = ::ptsname(master_);
    if (name == nullptr) return fail("ptsname");
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return fail("open slave");
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) return fail("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    pedal_.setLineSettings(115200, LineParity::Unknown);
    return true;
}

int PtyServer::run(int stopFd, int watchFd) {
    char buffer[65536];
    for (;;) {
        followPlug();
        qint64 now = steadyNowUs();
        if (master_ >= 0) unsent_ += pedal_.takeOutput(now);
        while (master_ >= 0 && !unsent_.isEmpty()) {
            const ssize_t n = ::write(master_, unsent_.constData(), unsent_.size());
            if (n > 0) {
                unsent_.remove(0, int(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return 1;
            break;  // the host is not reading: wait until the slave has room
        }

        const qint64 next = pedal_.nextEventUs(now);
        timespec timeout{};
        timespec* limit = nullptr;
        if (next >= 0) {
            const qint64 waitUs = std::max<qint64>(0, next - now);
            timeout.tv_sec = waitUs / 1000000;
            timeout.tv_nsec = (waitUs % 1000000) * 1000;
            limit = &timeout;
        }
        pollfd fds[3] = {};
        nfds_t count = 0;
        // A negative descriptor is left out by ppoll(): unplugged, no master.
        fds[count++] = {master_, short(POLLIN | (unsent_.isEmpty() ? 0 : POLLOUT)), 0};
        fds[count++] = {stopFd, POLLIN, 0};
        if (watchFd >= 0) fds[count++] = {watchFd, POLLIN, 0};
        const int ready = ::ppoll(fds, count, limit, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) return 0;
        if (watchFd >= 0 && fds[2].revents) {
            const ssize_t n = ::read(watchFd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return 0;
            if (n > 0) {
                lineBuffer_.append(buffer, int(n));
                for (int end = lineBuffer_.indexOf('\n'); end >= 0;
                     end = lineBuffer_.indexOf('\n')) {
                    const QByteArray line = lineBuffer_.left(end).trimmed();
                    lineBuffer_.remove(0, end + 1);
                    if (lineHandler_) lineHandler_(line);
                }
            }
            continue;  // a command may have changed the plug or the output
        }
        if (master_ >= 0 && (fds[0].revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                now = steadyNowUs();
                pedal_.receive(QByteArray(buffer, int(n)), now);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                return 1;
            }
        }
    }
}

}  // namespace zendal
