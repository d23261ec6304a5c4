#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "sim/VirtualBootloader.h"

namespace zendal {

// What the line between host and pedal is set to. A pseudo-terminal cannot
// carry parity, so its server says Unknown and both sides accept every byte.
enum class LineParity { None, Odd, Even, Mark, Space, Unknown };

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
// - 05 00 01 02 03 04 05 06 restarts into the bootloader. With
//   setRequireSaveHeld(true) it does so only while the SAVE button is held
//   (pressAndHoldSave), otherwise the firmware just restarts; by default it
//   always enters. Other bytes after 05 restart nothing.
// - Parity (setRequireParity, on by default): the firmware understands only
//   bytes at no parity, the bootloader only bytes at even parity; a byte at the
//   wrong line setting is garbage to it and ignored (counted). Unknown parity
//   (pseudo-terminal) is accepted by both. A baud rate other than 115200 makes
//   every byte garbage.
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

    struct Config {
        int effectId = 0x26;
        int effectVersion = 1;
        int firmwareVersion = 5;
        bool startInBootloader = false;
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
    // Drops what is visible at nowUs (the host's receive purge).
    void purgeOutput(qint64 nowUs = -1);
    // The next moment something changes (a byte becomes visible, a partial
    // message times out), or -1 when nothing is pending. For servers that sleep.
    qint64 nextEventUs(qint64 nowUs = -1);
    // Called whenever output was added or the plug state changed.
    int addListener(std::function<void()> listener);
    void removeListener(int id);

    void setLineSettings(quint32 baud, LineParity parity, bool eightBits = true);
    LineParity lineParity() const { return parity_; }
    void setRequireParity(bool on) { requireParity_ = on; }
    // Paces output (and the reading of uploads) like a 115200-baud line.
    void setWireTime(bool on) { wireTime_ = on; }
    bool wireTime() const { return wireTime_; }

    // --- front panel (sends what the pedal sends on its own) ---
    void turnKnob(int kind, int index, int value);  // AA kind index hi lo
    void switchBank(int bank);                      // "0" + decimal
    void switchEffect(int id);                      // "1" + upper-case hex
    void pressAndHoldSave(bool held) { saveHeld_ = held; }
    void setRequireSaveHeld(bool on) { requireSaveHeld_ = on; }
    void setBankMode(bool on) { bankMode_ = on; }  // the pedal's own mode switch
    void setPresetNumber(int n) { preset_ = n; }

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
        qint64 visibleNs;
    };

    qint64 toNs(qint64 nowUs);
    void advance(qint64 nowNs);
    void send(const QByteArray& bytes, qint64 readyNs, qint64 byteNs);
    void answer(quint8 code, const QByteArray& normal, qint64 atNs);
    void notify();
    void firmwareByte(quint8 byte, qint64 atNs);
    void parsePending(qint64 atNs);
    void handleMessage(const QByteArray& msg, qint64 atNs);
    void handleUpload(const QByteArray& msg, qint64 atNs);
    void storeSettings(int n);
    void runImage(const QByteArray& image);
    void runBank(int bank);
    int slotFor(quint16 address);
    bool acceptsByte() const;
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
    bool requireSaveHeld_ = false;
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
    bool wireTime_ = false;
    qint64 lastNowNs_ = 0;
    qint64 rxFreeNs_ = 0;
    qint64 txFreeNs_ = 0;
    qint64 lastRxNs_ = 0;
    QByteArray pending_;
    std::deque<OutByte> out_;
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
