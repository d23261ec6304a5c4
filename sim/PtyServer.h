#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "sim/VirtualPedal.h"

namespace zendal {

// Serves a VirtualPedal on a pseudo-terminal: the host opens the slave side
// like a serial port. A pseudo-terminal carries no parity, so the pedal is
// told the parity is unknown and accepts both line settings. The server keeps
// a descriptor of the slave open itself (raw mode), so the slave keeps its
// settings and the master never hangs up while hosts come and go.
// Unplugging the pedal closes the pseudo-terminal: a host that holds the
// slave sees a hang-up, as with a USB serial port pulled out. Replugging opens
// a new one (its path may differ) and tells the replug handler.
class PtyServer {
  public:
    explicit PtyServer(VirtualPedal& pedal);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal. False with a reason in *error on failure.
    bool open(QString* error);
    QString slavePath() const { return slavePath_; }
    bool isOpen() const { return master_ >= 0; }

    // Each line read from watchFd, without its end of line.
    void setLineHandler(std::function<void(const QByteArray&)> handler) {
        lineHandler_ = std::move(handler);
    }
    // The new slave path after a replug (or the failure, as an empty path).
    void setReplugHandler(std::function<void(const QString&)> handler) {
        replugHandler_ = std::move(handler);
    }

    // Serves until stopFd polls readable, or, when watchFd >= 0, until reading
    // watchFd gives end of file. Sleeps in ppoll() until the host writes or the
    // pedal's next byte is due; never spins. Returns 0, or 1 on a port failure.
    int run(int stopFd, int watchFd = -1);

  private:
    void close();
    // Follows the pedal's plug: hangs up or opens a new pseudo-terminal.
    void followPlug();

    VirtualPedal& pedal_;
    int master_ = -1;
    int slave_ = -1;
    int openGeneration_ = 0;  // the pedal's plug generation the line belongs to
    QString slavePath_;
    QByteArray unsent_;
    QByteArray lineBuffer_;
    std::function<void(const QByteArray&)> lineHandler_;
    std::function<void(const QString&)> replugHandler_;
};

}  // namespace zendal
