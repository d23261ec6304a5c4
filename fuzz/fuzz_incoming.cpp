// What the pedal sends on its own: every read of the receive tick classified as
// the tick does it (bank, effect, upload answer, control report, settings
// memory dump collected over several reads).
//
// Input: reads, each a two-byte big-endian length and that many bytes (the
// last read takes what is left). Byte 0 chooses the control counts of the
// effect whose panel a control report moves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Errors.h"
#include "core/Log.h"
#include "fuzz/support/FuzzPort.h"
#include "fuzz/support/Verbose.h"
#include "params/PanelMessages.h"
#include "protocol/IncomingMessage.h"

namespace {

using namespace zendal;

// The panel's side of a control report: which control moves, and where to.
void applyControlReport(const QByteArray& m, int pots, int switches, int multis) {
    if (m.size() < 5) return;
    const int kind = static_cast<std::uint8_t>(m[1]);
    const int index = static_cast<std::uint8_t>(m[2]);
    const int high = static_cast<std::uint8_t>(m[3]);
    const int value = high * 256 + static_cast<std::uint8_t>(m[4]);
    const int n = pots + switches + multis;
    if (index >= n) return;
    const bool potKind = kind <= 4 || kind == 11;
    if (potKind && index < pots + switches) {
        const int position = panel::sliderPositionForValue(value);
        if (position < 0 || position > panel::kPotMax) std::abort();
        DebugPrint(QStringLiteral("%1").arg(high * 256, 8, 16, QLatin1Char('0')).toUpper());
    } else if (potKind) {
        const int choices = 1 + (index % 5);
        const int choice = panel::choiceForValue(value, choices);
        if (choice < 0 || choice >= choices) std::abort();
    }
}

void handleDumpBytes(incoming::DumpAssembler& dump, QByteArray bytes, qint64 now) {
    while (!bytes.isEmpty()) {
        if (!dump.active()) {
            if (static_cast<std::uint8_t>(bytes.at(0)) != incoming::kDump) return;
            dump.begin(QByteArray(), now + 10000);
        }
        QByteArray rest;
        dump.append(bytes, &rest);
        if (rest.size() >= bytes.size()) std::abort();  // every round takes something
        if (!dump.complete()) return;
        const QByteArray message = dump.take();
        if (message.size() != incoming::kDumpMessageBytes) std::abort();
        // The 16,384 log lines of a dump do not depend on what it holds (the
        // unit tests check them); formatting them on every run would cost the
        // fuzzer most of its speed.
        (void)incoming::dumpIsErased(message);
        bytes = rest;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Log::instance().clear();  // the log keeps every line; keep memory flat
    zendal::fuzz::mirrorLogWhenAsked();
    fuzz::InputReader in(data, size);
    const std::uint8_t counts = in.byte();
    const int pots = 1 + (counts & 0x07), switches = (counts >> 3) & 0x03,
              multis = (counts >> 5) & 0x07;

    incoming::DumpAssembler dump;
    qint64 now = 0;
    while (!in.empty()) {
        const int length = (in.byte() << 8) | in.byte();
        const QByteArray bytes = in.bytes(static_cast<std::size_t>(length));
        now += 1;
        if (bytes.isEmpty()) continue;  // the tick reads nothing
        DebugPrint(QStringLiteral("Data(ASCII): ") + incoming::asciiText(bytes));
        if (dump.active()) {
            handleDumpBytes(dump, bytes, now);
            continue;
        }
        incoming::Message message;
        try {
            message = incoming::classify(bytes);
        } catch (const ConversionError& e) {
            (void)e.message();
            continue;
        }
        if (message.number == incoming::Message::Number::Effect &&
            (message.value < 0 || message.value > 65535))
            std::abort();
        (void)incoming::statusText(message);
        if (message.controlReport) {
            applyControlReport(bytes, pots, switches, multis);
        } else if (message.dump) {
            handleDumpBytes(dump, bytes, now);
        }
    }
    return 0;
}
