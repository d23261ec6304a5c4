#pragma once

#include <QByteArray>
#include <QList>

namespace zendal {

// Cuts the bytes the pedal sends on its own into messages. The link has no
// framing, but most message forms fix their own length: a control report is
// AA and four bytes, a dump AB and 16,384 bytes, an upload answer one of two
// exact texts, a bank message "0" and one digit. Those are split wherever they
// meet other messages, and a piece of one is held until the rest arrives. An
// effect message ("1" and hexadecimal digits) and unknown text end only where
// one of those forms begins or the line goes quiet: what follows an effect
// number up to there stays part of it (a bank message too), as the pedal gives
// no way to tell, and is read as one message.
class IncomingFramer {
  public:
    static constexpr int kControlReportBytes = 5;
    static constexpr int kDumpBytes = 16385;

    // Appends what was read and returns every message that is now complete, in
    // the order it arrived.
    QList<QByteArray> feed(const QByteArray& bytes);

    // The line went quiet: a run whose end is not fixed (effect message,
    // unknown text) is complete now. Pieces of fixed-length messages stay held
    // unless `everything` is set (the owner's limit for them has passed).
    QList<QByteArray> flush(bool everything = false);

    bool holding() const { return !held_.isEmpty(); }
    // True while the held bytes are the beginning of a dump.
    bool holdingDump() const;
    int heldBytes() const { return int(held_.size()); }
    void reset() { held_.clear(); }

  private:
    // Length of the complete message at the start of held_, 0 when it needs
    // more bytes, -1 when it ends only with quiet.
    qsizetype completeLength() const;

    QByteArray held_;
};

}  // namespace zendal
