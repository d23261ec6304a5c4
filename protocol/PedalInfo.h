#pragma once

#include <QString>
#include <optional>

#include "protocol/Exchange.h"

namespace zendal {

// What the pedal says it holds, from its device-information reply: four decimal
// numbers, each closed by CR LF. f1 only marks an empty pedal (it and the
// effect number both 255, or both 0).
struct PedalInfo {
    QString f1, f2, f3, f4;  // the four fields as received
    bool empty = false;      // no effect on the pedal
    int effect = 0;          // f2
    int version = 0;         // f3
    int firmware = 0;        // f4
};

// Splits the reply into its four fields (each the text before the next CR; the
// field and the two characters after it are then dropped) and reads f2..f4 as
// decimal integers. Throws ConversionError naming the first field that is not
// one (an empty reply included).
PedalInfo parsePedalInfo(const QString& reply);

// What a parsed reply says that the pedal cannot mean, naming the field: an
// effect number outside the catalogue's ids (an empty pedal's 255 excepted),
// or a version that is negative or more than a byte holds. Nothing when the
// reply is plausible.
std::optional<QString> implausiblePedalInfo(const PedalInfo& info);
// The versions alone (the editor refuses an unknown effect number in words of
// its own, naming its effect list).
std::optional<QString> implausibleVersions(const PedalInfo& info);

struct PedalInfoReply {
    QString reply;  // the reply's text, knob reports taken out
    ExchangeResult::Outcome outcome = ExchangeResult::Outcome::Reply;
    bool ok() const { return outcome == ExchangeResult::Outcome::Reply; }
};

class PedalConnection;

// The device-information exchange: PurgeFTTransmit, write 06 00, 100 ms
// pause, then the four fields within the device-information time limit. A
// write that fails ends the exchange at once (Unplugged).
PedalInfoReply queryPedalInfo(PedalConnection& connection);

}  // namespace zendal
