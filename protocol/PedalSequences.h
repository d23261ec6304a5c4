#pragma once

#include <QString>

#include "protocol/Exchange.h"

namespace zendal {
class PedalConnection;
}

// The protocol's sequences on a pedal connection, the same for the windows and
// zendalctl. Each is one exchange (or two, in order) and reports its outcome;
// none shows anything.
namespace zendal::sequences {

// 02 N, 200 ms pause, the decimal numbers of the settings record.
ExchangeResult requestSettings(PedalConnection& connection, int paramCount);
// 03 N, then the pedal's pause for writing its memory.
ExchangeResult storeSettings(PedalConnection& connection, int paramCount);
// 0B addr 00 0000, then the pedal's pause.
ExchangeResult eraseEeprom(PedalConnection& connection, const QString& i2cAddress);
// 0C addr 0000 0000: AB and the 16,384 bytes of the memory.
ExchangeResult readEeprom(PedalConnection& connection, const QString& i2cAddress);
// An effect image (bank code applied): bypass on, the pedal's pause, then the
// image in one write. The answer ("Upload complete"/"Upload Failed") comes on
// its own later and is read by the receive tick.
ExchangeResult sendEffectImage(PedalConnection& connection, const QByteArray& image);
// 7F at even parity, one byte back within the acknowledge limit; the line is
// back at the parity it had, whatever came. "79" is the acknowledge; empty
// when nothing came.
QString probeBootloader(PedalConnection& connection);
// At no parity (the firmware reads none, whatever a failed attempt before
// left on the line): bypass on, then the restart message, then the pause the
// pedal needs to restart.
ExchangeResult restartIntoBootloader(PedalConnection& connection);

}  // namespace zendal::sequences
