#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "sim/VirtualBootloader.h"
#include "sim/VirtualPedalLine.h"

namespace zendal {

// A wire-level model of the pedal: it takes the bytes the host writes, in any
// fragmentation, message by message, keeps the pedal's state and answers as
// the pedal does. No port, no thread, no event loop: time comes from the
// caller in microseconds, so tests stay deterministic.
//
// Messages: code byte and a fixed length (01:7 02:2 03:2 04:23 05:8 06:2 07:2
// 08:3 0A:3 0B:5 0C:6 0D:2); uploads (00, 0E, 0F, 10) carry their total length
// in bytes 1-2, big-endian. Any other code byte is skipped (and counted).
//
// Decisions worth knowing:
// - An upload is well formed when it arrived whole, its length is 37..65535
//   and byte 35 holds an effect id 1..63 and byte 36 a version 1..255. The
//   demonstration images also carry "ZDMO" at 37-40; that marker is not
//   required. Bytes 3..34 are the effect's parameter address table.
// - A preset upload (00) runs the effect and puts the pedal in preset mode. A
//   bank upload (0E, 0F, 10) is stored in bank slot I, II or III, puts the
//   pedal in bank mode and runs the effect only when that bank is current. A
//   bank slot holds 5440 bytes: a larger bank upload fails ("Upload Failed").
// - A length field below 4 fails at once after the header, and the following
//   bytes are read as messages again. A message or upload that stops arriving
//   for kIdleTimeoutUs is dropped (an upload then answers "Upload Failed"),
//   so a short write never swallows the next message for good.
// - EEPROM 0x50 holds the stored settings: the global block at 0 ("Z", mode,
//   bank/preset number, MIDI channel, effect id, effect version) and one
//   256-byte slot per effect id at id × 256 ("Z", N, then the 4N+41-byte
//   settings record as 02 N would send it). EEPROM 0x51 holds the three bank
//   images at 0, 5440 and 10880. Erasing 0x51 empties the banks. An EEPROM
//   address other than 0x50/0x51 has no device behind it: erase does nothing
//   and a read gets no answer.
// - 01 (parameter) finds its parameter slot through the effect's address
//   table (from its uploaded image, setAddressTable() or the image lookup).
//   Without a table, addresses 0..15 are taken as slots; other addresses are
//   only counted (unmappedParameterWrites()).
// - 05 00 01 02 03 04 05 06 restarts into the bootloader only while the SAVE
//   button (B2) is held (pressAndHoldSave), otherwise the firmware just
//   restarts; setRequireSaveHeld(false) lifts the rule. Other bytes after 05
//   restart nothing. Bytes that arrive within kRestartNs of the restart are
//   lost, the part is resetting (without timing: the rest of that write).
// - Timing (Timing::Realistic by default): bytes take their wire time at
//   115200 baud both ways, and replies reach the host in USB transfers as the
//   pedal's USB serial chip sends them: a packet leaves when it holds
//   kUsbPacketData bytes, or on the chip's latency timer (16 ms unless the
//   host sets it) with whatever has come; so replies arrive in pieces, the
//   last one late. Bytes the host wrote are handled when their last bit has
//   arrived; until then a transmit purge drops them. Timing::Instant (opt in,
//   for tests that need speed) makes every byte arrive at once.
// - Parity (setRequireParity, on by default): the firmware talks 8N1, the
//   bootloader 8E1. Bytes sent with another setting are sampled as a real
//   receiver does (reframe()): the pedal drops characters with a parity or
//   framing error (counted as ignored) and takes the rest, garbled or not; the
//   host gets the pedal's replies garbled the same way. Unknown parity
//   (pseudo-terminal) is accepted by both. A baud rate other than 115200 makes
//   every byte garbage.
// - Knobs can be turned in the middle of an exchange: duringNextReply() acts
//   after a chosen number of bytes of the next reply, schedule() at a chosen moment.
// - The empty pedal (effect 0) reports 255, 255, 1, firmware.
class VirtualPedal {
  public:
    static constexpr int kEepromSize = 16384;
    static constexpr quint8 kSettingsEeprom = 0x50;
    static constexpr quint8 kProgramEeprom = 0x51;
    static constexpr int kBankSlotSize = 5440;
    static constexpr int kSettingsSlotSize = 256;
    static constexpr qint64 kIdleTimeoutUs = 500'000;
    // 115200 baud: 10 bits a byte at 8N1, 11 at 8E1.
    static constexpr qint64 kByteNs8N1 = 86'806;
    static constexpr qint64 kByteNs8E1 = 95'486;
    static constexpr qint64 kBitNs = 8'681;
    // A full-speed USB packet is 64 bytes; the chip's two status bytes lead each.
    static constexpr int kUsbPacketData = 62;
    static constexpr int kDefaultLatencyMs = 16;
    static constexpr qint64 kRestartNs = 2'000'000;

    enum class Timing {
        Realistic,  // wire time and USB transfers, as the hardware
        Instant,    // every byte arrives at once, whole (opt in for speed)
    };

    struct Config {
        int effectId = 0x26;
        int effectVersion = 1;
        int firmwareVersion = 5;
        bool startInBootloader = false;
        Timing timing = Timing::Realistic;
        bool requireSaveHeld = true;

        // For tests that need speed: no timing. Parity and B2 stay strict.
        static Config lenient() {
            Config c;
            c.timing = Timing::Instant;
            return c;
        }
    };

    // One effect's settings; they survive switching to other effects.
    struct EffectSettings {
        std::array<quint32, 16> values{};  // value × 8192, as received
        std::array<quint8, 16> assignments;
        std::array<quint8, 16> reverse;  // 0x01 reversed, 0xFF normal
        std::array<quint8, 4> leds;
        quint8 bypassFunction = 0xFF;
        quint8 presetFunction = 0xFF;
        EffectSettings() {
            assignments.fill(0xFF);
            reverse.fill(0xFF);
            leds.fill(0xFF);
        }
    };
    using AddressTable = std::array<quint16, 16>;

    VirtualPedal();
    explicit VirtualPedal(const Config& config);

    // --- the line ---
    // Bytes written by the host at nowUs (-1: at the latest time seen).
    void receive(const QByteArray& bytes, qint64 nowUs = -1);
    // Bytes the pedal has sent that are visible at nowUs; takes them (at most
    // maxBytes when that is not negative).
    QByteArray takeOutput(qint64 nowUs = -1, qint64 maxBytes = -1);
    qint64 bytesAvailable(qint64 nowUs = -1);
    // Drops what has reached the chip by nowUs (the host's receive purge).
    void purgeOutput(qint64 nowUs = -1);
    // Drops what the host wrote that has not arrived by nowUs (its transmit purge).
    void purgeInput(qint64 nowUs = -1);
    // The next moment something changes (a byte arrives or becomes visible, a
    // partial message times out), or -1 when nothing is pending. For servers
    // that sleep.
    qint64 nextEventUs(qint64 nowUs = -1);
    // Takes in what the host's bytes did by nowUs (the state accessors show
    // the pedal as of the last call with a time).
    void settle(qint64 nowUs) { advance(toNs(nowUs)); }
    // Called whenever output was added or the plug state changed.
    int addListener(std::function<void()> listener);
    void removeListener(int id);

    void setLineSettings(quint32 baud, LineParity parity, bool eightBits = true);
    LineParity lineParity() const { return parity_; }
    void setRequireParity(bool on) { requireParity_ = on; }
    void setTiming(Timing timing) { timing_ = timing; }
    Timing timing() const { return timing_; }
    bool wireTime() const { return timing_ == Timing::Realistic; }
    void setWireTime(bool on) { setTiming(on ? Timing::Realistic : Timing::Instant); }
    // The USB chip's latency timer (FT_SetLatencyTimer); below 1 counts as 1.
    void setLatencyTimer(int ms) { latencyMs_ = ms < 1 ? 1 : ms; }
    int latencyTimer() const { return latencyMs_; }

    // --- front panel (sends what the pedal sends on its own) ---
    void turnKnob(int kind, int index, int value);  // AA kind index hi lo
    void switchBank(int bank);                      // "0" + decimal
    void switchEffect(int id);                      // "1" + upper-case hex
    void pressAndHoldSave(bool held) { saveHeld_ = held; }
    void setRequireSaveHeld(bool on) { requireSaveHeld_ = on; }
    void setBankMode(bool on) { bankMode_ = on; }  // the pedal's own mode switch
    void setPresetNumber(int n) { preset_ = n; }
    // Runs `action` (say, turnKnob) once `afterBytes` bytes of the next reply
    // have gone out; what it sends goes on the wire there, inside the reply.
    // kUsbPacketData puts it between the first two packets.
    void duringNextReply(int afterBytes, std::function<void(VirtualPedal&)> action);
    // Runs `action` when the pedal's time reaches atUs.
    void schedule(qint64 atUs, std::function<void(VirtualPedal&)> action);

    // --- faults ---
    void setSilentOn(quint8 code) { silent_.insert(code); }
    void setGarbageOn(quint8 code) { garbage_.insert(code); }
    void clearFaults();
    void unplug();
    void replug();
    bool plugged() const { return plugged_; }
    // Grows with every unplug: handles opened before are dead.
    int plugGeneration() const { return plugGeneration_; }

    // --- configuration and state (tests, demos) ---
    void setEffect(int id, int version);
    // The version 06 00 reports (the flash keeps what it holds).
    void setFirmwareVersion(int v) { firmwareVersion_ = v; }
    void setAddressTable(int effectId, const AddressTable& table);
    // Asked for an effect's image (bytes) when it runs without a known address table.
    void setImageLookup(std::function<QByteArray(int effectId)> lookup) {
        imageLookup_ = std::move(lookup);
    }
    void enterBootloader();
    // A minimal firmware image that reports the given version after GO.
    static QByteArray firmwareStub(int version);

    int effectId() const { return effectId_; }
    int effectVersion() const { return effectVersion_; }
    int firmwareVersion() const { return firmwareVersion_; }
    bool bankMode() const { return bankMode_; }
    // In bank mode the current bank (0..2), in preset mode the preset number.
    int bankOrPreset() const { return bankMode_ ? bank_ : preset_; }
    int midiChannel() const { return midiChannel_; }
    bool live() const { return live_; }
    bool bypass() const { return bypass_; }
    bool inBootloader() const { return inBootloader_; }
    const EffectSettings& settings(int effectId) const;
    const EffectSettings& currentSettings() const { return settings(effectId_); }
    QByteArray eeprom(quint8 address) const;
    QByteArray bankImage(int bank) const;  // 0..2; empty when the slot holds none
    // The settings record 02 N answers with, as bytes (4N+41 of them).
    QByteArray settingsRecord(int n) const;

    VirtualBootloader& bootloader() { return bootloader_; }
    int skippedByteCount() const { return skipped_; }
    int ignoredByteCount() const { return ignored_; }
    int droppedMessageCount() const { return dropped_; }
    int unmappedParameterWrites() const { return unmapped_; }

  private:
    struct OutByte {
        quint8 byte;
        qint64 visibleNs;  // in the USB chip
    };
    struct InByte {
        quint8 byte;
        bool error;        // parity or framing error at the pedal's receiver
        qint64 arrivalNs;  // its stop bit arrived
    };
    struct Scheduled {
        qint64 atNs;
        std::function<void(VirtualPedal&)> action;
    };

    qint64 toNs(qint64 nowUs);
    void advance(qint64 nowNs);
    void expireIdle(qint64 nowNs);
    void releasePackets(qint64 nowNs);
    qint64 nextPacketNs() const;
    void takeByte(const InByte& in);
    UartFormat hostFormat() const;
    UartFormat pedalFormat() const;
    bool garbles() const;
    void send(const QByteArray& bytes, qint64 readyNs, bool reply = false);
    void sendBurst(const QByteArray& bytes, qint64 readyNs);
    void answer(quint8 code, const QByteArray& normal, qint64 atNs);
    void enterBootloaderAt(qint64 atNs);
    // When the front panel sends: now, or the moment an action was due.
    qint64 panelNs() const { return actionNs_ >= 0 ? actionNs_ : lastNowNs_; }
    void notify();
    void firmwareByte(quint8 byte, qint64 atNs);
    void parsePending(qint64 atNs);
    void handleMessage(const QByteArray& msg, qint64 atNs);
    void handleUpload(const QByteArray& msg, qint64 atNs);
    void storeSettings(int n);
    void runImage(const QByteArray& image);
    void runBank(int bank);
    int slotFor(quint16 address);
    EffectSettings& mutableSettings(int effectId);

    // Pedal state.
    int effectId_ = 0;
    int effectVersion_ = 1;
    int firmwareVersion_ = 5;
    bool bankMode_ = false;
    int bank_ = 0;
    int preset_ = 0;
    int midiChannel_ = 0;
    bool live_ = false;
    bool bypass_ = false;
    bool inBootloader_ = false;
    bool saveHeld_ = false;
    bool requireSaveHeld_ = true;
    std::array<EffectSettings, 64> settings_;
    std::array<std::optional<AddressTable>, 64> addressTables_;
    std::array<int, 64> knownVersions_{};
    std::array<QByteArray, 2> eeproms_;
    std::function<QByteArray(int)> imageLookup_;
    VirtualBootloader bootloader_;

    // The line.
    quint32 baud_ = 115200;
    bool eightBits_ = true;
    LineParity parity_ = LineParity::None;
    bool requireParity_ = true;
    Timing timing_ = Timing::Realistic;
    int latencyMs_ = kDefaultLatencyMs;
    qint64 lastNowNs_ = 0;
    qint64 rxFreeNs_ = 0;
    qint64 txFreeNs_ = 0;
    qint64 lastRxNs_ = 0;
    qint64 restartUntilNs_ = -1;
    bool restartingThisWrite_ = false;
    qint64 lastPacketNs_ = 0;
    QByteArray pending_;
    std::deque<InByte> in_;
    std::deque<OutByte> out_;  // on the wire or in the USB chip
    QByteArray host_;          // delivered to the host, not read yet
    int hookAfterBytes_ = -1;
    std::function<void(VirtualPedal&)> hook_;
    std::vector<Scheduled> scheduled_;
    bool advancing_ = false;
    qint64 actionNs_ = -1;
    bool plugged_ = true;
    int plugGeneration_ = 0;
    std::map<int, std::function<void()>> listeners_;
    int nextListener_ = 1;

    // Faults and counters.
    std::set<quint8> silent_;
    std::set<quint8> garbage_;
    quint32 garbageSeed_ = 0x5EED1234u;
    int skipped_ = 0;
    int ignored_ = 0;
    int dropped_ = 0;
    int unmapped_ = 0;
};

}  // namespace zendal
