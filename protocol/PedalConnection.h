#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include "link/D2XXUnit.h"
#include "link/PortReadyWatcher.h"
#include "protocol/Exchange.h"
#include "protocol/IncomingFramer.h"

namespace zendal {

// Who speaks on the line. The firmware reads no parity and answers in whole
// replies; while the microcontroller's bootloader owns it (a firmware upgrade
// or a recovery), the line is at even parity, replies are single acknowledge
// bytes read by the firmware workflow, and the receive tick stays off.
enum class LineOwner { Firmware, Bootloader };

// The one link to the pedal: the port module, its line settings, the receive
// tick that turns what the pedal sends on its own into messages, and the one
// way to ask something and wait for the answer. Windows and zendalctl get it by
// reference; nothing else opens the port.
//
// One thing at a time: while an exchange waits, another is refused (Busy), so
// no wait ever runs inside another. Knob reports that arrive inside a reply
// are taken out of it and handed on as messages once the exchange ends.
class PedalConnection : public QObject {
    Q_OBJECT
  public:
    explicit PedalConnection(QObject* parent = nullptr);
    ~PedalConnection() override;
    PedalConnection(const PedalConnection&) = delete;
    PedalConnection& operator=(const PedalConnection&) = delete;

    D2XXUnit& unit() { return unit_; }
    // Makes d2xx() reach this connection's unit (for code not yet handed the
    // connection); undone when the connection goes.
    void makeProcessPort();

    // Stores 115200 baud, 8 data bits, 1 stop bit and the parity; does not
    // touch the device.
    void setLineSettings(std::uint8_t parity);
    // Stores the parity and applies it to the open device.
    void applyParity(std::uint8_t parity);

    ExchangeResult exchange(const ExchangeRequest& request);
    bool busy() const { return busy_; }

    // Handing the line to the bootloader stops the receive tick; it cannot be
    // started again until the firmware has the line back.
    void setLineOwner(LineOwner owner);
    LineOwner lineOwner() const { return lineOwner_; }
    bool bootloaderOwnsLine() const { return lineOwner_ == LineOwner::Bootloader; }

    // The receive tick: woken by the port's readiness descriptor. Not started
    // while the bootloader owns the line.
    void startTick();
    void stopTick();
    bool tickRunning() const { return watcher_.isActive(); }
    // A message still waits for its rest, or for quiet to end it.
    bool holdingPiece() const { return framer_.holding(); }
    // The line has been quiet: a run without a fixed end is handed out, and a
    // piece whose limit has passed as it stands. The tick's own timer does
    // this; a caller that waited on the process clock may say so itself.
    void lineQuiet() { onQuiet(); }
    // Forgets a piece held from a link that is gone.
    void forgetPiece();

    // How long a piece of a fixed-length message may wait for its rest.
    static constexpr int kPieceLimitMs = 100;
    // Reads one tick takes at most; the readiness descriptor brings it back.
    static constexpr int kReadsPerTick = 16;

  signals:
    // One message the pedal sent on its own, in the order it arrived.
    void message(const QByteArray& bytes);
    void busyChanged(bool busy);
    void lineOwnerChanged(zendal::LineOwner owner);
    // The port failed while the tick read it (cable pulled).
    void portFailed();

  public slots:
    // Reads what waits and hands out every complete message.
    void tick();

  private:
    // Reads everything that waits; false when the port failed.
    bool readAll(QByteArray* bytes, int maxReads);
    ExchangeResult run(const ExchangeRequest& request, QByteArray* forTheTick);
    void deliver(const QList<QByteArray>& messages);
    void onQuiet();

    D2XXUnit unit_;
    PortReadyWatcher watcher_;
    IncomingFramer framer_;
    QTimer quietTimer_;
    qint64 heldSinceMs_ = -1;
    bool busy_ = false;
    LineOwner lineOwner_ = LineOwner::Firmware;
    bool installed_ = false;
    bool ticking_ = false;
};

// Gives the line to an owner for the lifetime of the scope, then back to
// whoever had it before.
class LineOwnerScope {
  public:
    LineOwnerScope(PedalConnection& connection, LineOwner owner)
        : connection_(connection), previous_(connection.lineOwner()) {
        connection_.setLineOwner(owner);
    }
    ~LineOwnerScope() { connection_.setLineOwner(previous_); }
    LineOwnerScope(const LineOwnerScope&) = delete;
    LineOwnerScope& operator=(const LineOwnerScope&) = delete;

  private:
    PedalConnection& connection_;
    LineOwner previous_;
};

}  // namespace zendal
