#include "sim/VirtualPedal.h"

#include <algorithm>
#include <limits>

namespace zendal {

namespace {

constexpr quint8 kUploadPreset = 0x00;
constexpr quint8 kUploadBank1 = 0x0E;
constexpr quint8 kUploadBank3 = 0x10;
constexpr int kImageIdOffset = 35;
constexpr int kImageVersionOffset = 36;
constexpr int kImageMinLength = kImageVersionOffset + 1;
constexpr int kAddressTableOffset = 3;

constexpr qint64 kNever = std::numeric_limits<qint64>::max();

bool isUpload(quint8 code) {
    return code == kUploadPreset || (code >= kUploadBank1 && code <= kUploadBank3);
}

int fixedLength(quint8 code) {
    switch (code) {
        case 0x01:
            return 7;
        case 0x02:
        case 0x03:
        case 0x06:
        case 0x07:
        case 0x0D:
            return 2;
        case 0x04:
            return 23;
        case 0x05:
            return 8;
        case 0x08:
        case 0x0A:
            return 3;
        case 0x0B:
            return 5;
        case 0x0C:
            return 6;
        default:
            return 0;
    }
}

quint8 at(const QByteArray& a, int i) {
    return static_cast<quint8>(a[i]);
}

QByteArray decimalLines(const QByteArray& values) {
    QByteArray text;
    for (char v : values) {
        text += QByteArray::number(static_cast<quint8>(v));
        text += "\r\n";
    }
    return text;
}

std::optional<VirtualPedal::AddressTable> addressTableOf(const QByteArray& image) {
    if (image.size() < kAddressTableOffset + 32) return std::nullopt;
    VirtualPedal::AddressTable table{};
    for (int i = 0; i < 16; ++i) {
        const int o = kAddressTableOffset + 2 * i;
        table[i] = quint16((at(image, o) << 8) | at(image, o + 1));
    }
    return table;
}

}  // namespace

VirtualPedal::VirtualPedal() : VirtualPedal(Config{}) {}

VirtualPedal::VirtualPedal(const Config& config) {
    for (auto& e : eeproms_) e = QByteArray(kEepromSize, static_cast<char>(0xFF));
    firmwareVersion_ = config.firmwareVersion;
    timing_ = config.timing;
    requireSaveHeld_ = config.requireSaveHeld;
    bootloader_.loadFlash(firmwareStub(config.firmwareVersion));
    setEffect(config.effectId, config.effectVersion);
    if (config.startInBootloader) enterBootloader();
}

QByteArray VirtualPedal::firmwareStub(int version) {
    if (version < 0 || version > 254) return {};
    QByteArray image(VirtualBootloader::kVersionOffset + 1, static_cast<char>(0xFF));
    // Initial stack pointer 0x20005000 and a Thumb reset address, little-endian.
    const quint8 vectors[8] = {0x00, 0x50, 0x00, 0x20, 0x01, 0x01, 0x00, 0x08};
    for (int i = 0; i < 8; ++i) image[i] = static_cast<char>(vectors[i]);
    image.replace(VirtualBootloader::kVersionMagicOffset, 8, QByteArray("ZDMOFW\0\0", 8));
    image[VirtualBootloader::kVersionOffset] = static_cast<char>(version);
    return image;
}

// --- time and output ---

qint64 VirtualPedal::toNs(qint64 nowUs) {
    if (nowUs >= 0) lastNowNs_ = std::max(lastNowNs_, nowUs * 1000);
    return lastNowNs_;
}

void VirtualPedal::advance(qint64 nowNs) {
    if (advancing_) {
        // Called back from inside (a listener asking what is visible).
        releasePackets(nowNs);
        return;
    }
    advancing_ = true;
    // Input bytes and scheduled actions, in the order of their moments.
    for (;;) {
        const qint64 nextIn = in_.empty() ? kNever : in_.front().arrivalNs;
        auto act = std::min_element(
            scheduled_.begin(), scheduled_.end(),
            [](const Scheduled& a, const Scheduled& b) { return a.atNs < b.atNs; });
        const qint64 nextAct = act == scheduled_.end() ? kNever : act->atNs;
        const qint64 t = std::min(nextIn, nextAct);
        if (t > nowNs) break;
        expireIdle(t);
        if (nextAct <= nextIn) {
            const auto action = std::move(act->action);
            scheduled_.erase(act);
            actionNs_ = t;
            action(*this);
            actionNs_ = -1;
        } else {
            const InByte in = in_.front();
            in_.pop_front();
            takeByte(in);
        }
    }
    expireIdle(nowNs);
    releasePackets(nowNs);
    advancing_ = false;
}

void VirtualPedal::expireIdle(qint64 nowNs) {
    if (pending_.isEmpty() || nowNs - lastRxNs_ < kIdleTimeoutUs * 1000) return;
    const quint8 code = at(pending_, 0);
    pending_.clear();
    ++dropped_;
    if (isUpload(code)) answer(code, "Upload Failed", lastRxNs_ + kIdleTimeoutUs * 1000);
}

qint64 VirtualPedal::nextPacketNs() const {
    if (out_.empty()) return -1;
    // The latency timer runs from the last packet; a full packet leaves at once.
    const qint64 latency = qint64(latencyMs_) * 1'000'000;
    const qint64 first = out_.front().visibleNs;
    qint64 tick = lastPacketNs_ + latency;
    if (tick < first) tick += (first - tick + latency - 1) / latency * latency;
    if (out_.size() >= std::size_t(kUsbPacketData)) {
        const qint64 full = std::max(out_[kUsbPacketData - 1].visibleNs, lastPacketNs_);
        return std::min(tick, full);
    }
    return tick;
}

void VirtualPedal::releasePackets(qint64 nowNs) {
    if (timing_ == Timing::Instant) {
        for (const OutByte& b : out_) host_.append(static_cast<char>(b.byte));
        out_.clear();
        return;
    }
    for (;;) {
        const qint64 t = nextPacketNs();
        if (t < 0 || t > nowNs) return;
        for (int n = 0; n < kUsbPacketData && !out_.empty() && out_.front().visibleNs <= t; ++n) {
            host_.append(static_cast<char>(out_.front().byte));
            out_.pop_front();
        }
        lastPacketNs_ = t;
    }
}

UartFormat VirtualPedal::hostFormat() const {
    return {eightBits_ ? 8 : 7, parity_, 1};
}

UartFormat VirtualPedal::pedalFormat() const {
    return {8, inBootloader_ ? LineParity::Even : LineParity::None, 1};
}

bool VirtualPedal::garbles() const {
    return requireParity_ && parity_ != LineParity::Unknown && !(hostFormat() == pedalFormat());
}

void VirtualPedal::send(const QByteArray& bytes, qint64 readyNs, bool reply) {
    if (!plugged_ || bytes.isEmpty()) return;
    if (reply && hook_) {
        const int n = std::min<int>(hookAfterBytes_, int(bytes.size()));
        const auto action = std::move(hook_);
        hook_ = nullptr;
        sendBurst(bytes.left(n), readyNs);
        const qint64 outer = actionNs_;
        actionNs_ = readyNs;  // what it sends queues up right behind those bytes
        action(*this);
        actionNs_ = outer;
        sendBurst(bytes.mid(n), readyNs);
    } else {
        sendBurst(bytes, readyNs);
    }
    notify();
}

void VirtualPedal::sendBurst(const QByteArray& bytes, qint64 readyNs) {
    if (bytes.isEmpty()) return;
    const UartFormat mine = pedalFormat();
    const qint64 byteNs = mine.frameBits() * kBitNs;
    if (timing_ == Timing::Instant) {
        if (garbles()) {
            for (const ReceivedChar& c : reframe(bytes, mine, hostFormat()))
                host_.append(static_cast<char>(c.byte));
        } else {
            host_ += bytes;
        }
        return;
    }
    const qint64 start = std::max(readyNs, txFreeNs_);
    if (garbles()) {
        for (const ReceivedChar& c : reframe(bytes, mine, hostFormat()))
            out_.push_back({c.byte, start + (c.endBit + 1) * kBitNs});
    } else {
        for (int i = 0; i < bytes.size(); ++i)
            out_.push_back({static_cast<quint8>(bytes[i]), start + (i + 1) * byteNs});
    }
    txFreeNs_ = start + bytes.size() * byteNs;
}

void VirtualPedal::answer(quint8 code, const QByteArray& normal, qint64 atNs) {
    if (silent_.count(code)) return;
    if (garbage_.count(code)) {
        QByteArray junk;
        for (int i = 0; i < 8; ++i) {
            garbageSeed_ = garbageSeed_ * 1664525u + 1013904223u;
            quint8 b = 0x80 | quint8((garbageSeed_ >> 24) & 0x7F);
            if (b == 0xAA || b == 0xAB) b ^= 0x10;  // never a control report or a dump
            junk.append(static_cast<char>(b));
        }
        send(junk, atNs, true);
        return;
    }
    send(normal, atNs, true);
}

void VirtualPedal::notify() {
    // Listeners may not add or remove listeners.
    for (auto& [id, listener] : listeners_) listener();
}

int VirtualPedal::addListener(std::function<void()> listener) {
    const int id = nextListener_++;
    listeners_[id] = std::move(listener);
    return id;
}

void VirtualPedal::removeListener(int id) {
    listeners_.erase(id);
}

qint64 VirtualPedal::bytesAvailable(qint64 nowUs) {
    advance(toNs(nowUs));
    return host_.size();
}

QByteArray VirtualPedal::takeOutput(qint64 nowUs, qint64 maxBytes) {
    advance(toNs(nowUs));
    const qint64 n = maxBytes < 0 ? host_.size() : std::min<qint64>(maxBytes, host_.size());
    const QByteArray bytes = host_.left(n);
    host_.remove(0, n);
    return bytes;
}

void VirtualPedal::purgeOutput(qint64 nowUs) {
    const qint64 now = toNs(nowUs);
    advance(now);
    host_.clear();
    // The chip's buffer goes too; bytes still on the wire arrive later.
    while (!out_.empty() && out_.front().visibleNs <= now) out_.pop_front();
}

void VirtualPedal::purgeInput(qint64 nowUs) {
    const qint64 now = toNs(nowUs);
    advance(now);
    if (in_.empty()) return;
    in_.clear();  // everything left has not arrived yet
    rxFreeNs_ = now;
}

qint64 VirtualPedal::nextEventUs(qint64 nowUs) {
    const qint64 now = toNs(nowUs);
    advance(now);
    qint64 next = kNever;
    if (!host_.isEmpty()) next = now;
    if (const qint64 packet = nextPacketNs(); packet >= 0) next = std::min(next, packet);
    if (!in_.empty()) next = std::min(next, in_.front().arrivalNs);
    for (const Scheduled& s : scheduled_) next = std::min(next, s.atNs);
    if (!pending_.isEmpty()) next = std::min(next, lastRxNs_ + kIdleTimeoutUs * 1000);
    if (next == kNever) return -1;
    return (std::max(next, now) + 999) / 1000;
}

void VirtualPedal::setLineSettings(quint32 baud, LineParity parity, bool eightBits) {
    baud_ = baud;
    parity_ = parity;
    eightBits_ = eightBits;
}

void VirtualPedal::duringNextReply(int afterBytes, std::function<void(VirtualPedal&)> action) {
    hookAfterBytes_ = std::max(0, afterBytes);
    hook_ = std::move(action);
}

void VirtualPedal::schedule(qint64 atUs, std::function<void(VirtualPedal&)> action) {
    scheduled_.push_back({atUs * 1000, std::move(action)});
}

// --- input ---

void VirtualPedal::receive(const QByteArray& bytes, qint64 nowUs) {
    const qint64 now = toNs(nowUs);
    if (!plugged_ || bytes.isEmpty()) return;
    advance(now);
    if (baud_ != 115200) {
        ignored_ += int(bytes.size());
        return;
    }
    restartingThisWrite_ = false;
    const UartFormat host = hostFormat();
    const qint64 byteNs = host.frameBits() * kBitNs;
    const bool timed = timing_ == Timing::Realistic;
    const qint64 start = timed ? std::max(now, rxFreeNs_) : now;
    if (garbles()) {
        for (const ReceivedChar& c : reframe(bytes, host, pedalFormat()))
            in_.push_back({c.byte, c.error, timed ? start + (c.endBit + 1) * kBitNs : now});
    } else {
        for (int i = 0; i < bytes.size(); ++i)
            in_.push_back(
                {static_cast<quint8>(bytes[i]), false, timed ? start + (i + 1) * byteNs : now});
    }
    if (timed) rxFreeNs_ = start + bytes.size() * byteNs;
    advance(now);
}

void VirtualPedal::takeByte(const InByte& in) {
    if (in.error || in.arrivalNs < restartUntilNs_ || restartingThisWrite_) {
        ++ignored_;  // a broken character, or the part is resetting
        return;
    }
    if (inBootloader_) {
        const VirtualBootloader::Reaction r = bootloader_.feed(in.byte);
        send(r.reply, in.arrivalNs + r.busyNs);
        if (r.jumped) {
            inBootloader_ = false;
            firmwareVersion_ = bootloader_.flashedFirmwareVersion();
        }
    } else {
        firmwareByte(in.byte, in.arrivalNs);
    }
}

void VirtualPedal::firmwareByte(quint8 byte, qint64 atNs) {
    pending_.append(static_cast<char>(byte));
    lastRxNs_ = atNs;
    parsePending(atNs);
}

void VirtualPedal::parsePending(qint64 atNs) {
    while (!pending_.isEmpty()) {
        const quint8 code = at(pending_, 0);
        if (isUpload(code)) {
            if (pending_.size() < 3) return;
            const int length = (at(pending_, 1) << 8) | at(pending_, 2);
            if (length < 4) {
                pending_.remove(0, 3);
                answer(code, "Upload Failed", atNs);
                continue;
            }
            if (pending_.size() < length) return;
            const QByteArray msg = pending_.left(length);
            pending_.remove(0, length);
            handleUpload(msg, atNs);
            continue;
        }
        const int need = fixedLength(code);
        if (need == 0) {
            ++skipped_;
            pending_.remove(0, 1);
            continue;
        }
        if (pending_.size() < need) return;
        const QByteArray msg = pending_.left(need);
        pending_.remove(0, need);
        handleMessage(msg, atNs);
        if (inBootloader_) {
            pending_.clear();
            return;
        }
    }
}

void VirtualPedal::handleMessage(const QByteArray& msg, qint64 atNs) {
    const quint8 code = at(msg, 0);
    EffectSettings& s = mutableSettings(effectId_);
    switch (code) {
        case 0x01: {
            const quint16 address = quint16((at(msg, 1) << 8) | at(msg, 2));
            const quint32 word = (quint32(at(msg, 3)) << 24) | (quint32(at(msg, 4)) << 16) |
                                 (quint32(at(msg, 5)) << 8) | quint32(at(msg, 6));
            const int slot = slotFor(address);
            if (slot >= 0)
                s.values[slot] = word;
            else
                ++unmapped_;
            answer(code, {}, atNs);
            return;
        }
        case 0x02: {
            answer(code, decimalLines(settingsRecord(at(msg, 1))), atNs);
            return;
        }
        case 0x03:
            storeSettings(at(msg, 1));
            answer(code, {}, atNs);
            return;
        case 0x04:
            for (int i = 0; i < 16; ++i) s.assignments[i] = at(msg, 1 + i);
            for (int j = 0; j < 4; ++j) s.leds[j] = at(msg, 17 + j);
            s.bypassFunction = at(msg, 21);
            s.presetFunction = at(msg, 22);
            answer(code, {}, atNs);
            return;
        case 0x05: {
            static const QByteArray restart("\x05\x00\x01\x02\x03\x04\x05\x06", 8);
            answer(code, {}, atNs);
            if (msg == restart && (!requireSaveHeld_ || saveHeld_)) enterBootloaderAt(atNs);
            return;
        }
        case 0x06: {
            QByteArray text;
            if (effectId_ == 0) {
                text = "255\r\n255\r\n1\r\n";
            } else {
                text = "1\r\n" + QByteArray::number(effectId_) + "\r\n" +
                       QByteArray::number(effectVersion_) + "\r\n";
            }
            text += QByteArray::number(firmwareVersion_) + "\r\n";
            answer(code, text, atNs);
            return;
        }
        case 0x07:
            midiChannel_ = at(msg, 1);
            answer(code, {}, atNs);
            return;
        case 0x08: {
            const int index = at(msg, 2);
            if (index < 16) s.reverse[index] = at(msg, 1) == 0x01 ? 0x01 : 0xFF;
            answer(code, {}, atNs);
            return;
        }
        case 0x0A:
            live_ = at(msg, 1) == 0x01;
            answer(code, {}, atNs);
            return;
        case 0x0B: {
            const quint8 address = at(msg, 1);
            if (address == kSettingsEeprom || address == kProgramEeprom) {
                eeproms_[address - kSettingsEeprom].fill(static_cast<char>(0xFF));
            }
            answer(code, {}, atNs);
            return;
        }
        case 0x0C: {
            const quint8 address = at(msg, 1);
            if (address != kSettingsEeprom && address != kProgramEeprom) {
                answer(code, {}, atNs);
                return;
            }
            answer(code,
                   QByteArray(1, static_cast<char>(0xAB)) + eeproms_[address - kSettingsEeprom],
                   atNs);
            return;
        }
        case 0x0D:
            bypass_ = at(msg, 1) == 0x01;
            answer(code, {}, atNs);
            return;
        default:
            return;
    }
}

void VirtualPedal::handleUpload(const QByteArray& msg, qint64 atNs) {
    const quint8 code = at(msg, 0);
    bool ok = msg.size() >= kImageMinLength;
    if (ok) {
        const int id = at(msg, kImageIdOffset);
        ok = id >= 1 && id <= 63 && at(msg, kImageVersionOffset) >= 1;
    }
    if (ok && code == kUploadPreset) {
        runImage(msg);
        bankMode_ = false;
    } else if (ok) {
        const int bank = code - kUploadBank1;
        if (msg.size() > kBankSlotSize) {
            ok = false;
        } else {
            QByteArray& e = eeproms_[kProgramEeprom - kSettingsEeprom];
            e.replace(bank * kBankSlotSize, kBankSlotSize,
                      msg + QByteArray(kBankSlotSize - msg.size(), static_cast<char>(0xFF)));
            bankMode_ = true;
            if (bank_ == bank) runBank(bank);
        }
    }
    answer(code, ok ? "Upload complete" : "Upload Failed", atNs);
}

// --- pedal state ---

VirtualPedal::EffectSettings& VirtualPedal::mutableSettings(int effectId) {
    return settings_[std::clamp(effectId, 0, 63)];
}

const VirtualPedal::EffectSettings& VirtualPedal::settings(int effectId) const {
    return settings_[std::clamp(effectId, 0, 63)];
}

QByteArray VirtualPedal::settingsRecord(int n) const {
    const EffectSettings& s = settings(effectId_);
    QByteArray r;
    for (int i = 0; i < n; ++i) {
        const quint32 word = i < 16 ? s.values[i] : 0;
        r.append(static_cast<char>(word >> 24));
        r.append(static_cast<char>(word >> 16));
        r.append(static_cast<char>(word >> 8));
        r.append(static_cast<char>(word));
    }
    for (quint8 a : s.assignments) r.append(static_cast<char>(a));
    r.append(static_cast<char>(s.bypassFunction));
    r.append(static_cast<char>(s.presetFunction));
    for (quint8 l : s.leds) r.append(static_cast<char>(l));
    for (quint8 f : s.reverse) r.append(static_cast<char>(f));
    r.append(static_cast<char>(bankMode_ ? 1 : 0));
    r.append(static_cast<char>(bankOrPreset()));
    r.append(static_cast<char>(midiChannel_));
    return r;
}

void VirtualPedal::storeSettings(int n) {
    QByteArray& e = eeproms_[0];
    const QByteArray global("Z", 1);
    e.replace(0, 6,
              global + QByteArray(1, char(bankMode_ ? 1 : 0)) +
                  QByteArray(1, char(bankOrPreset())) + QByteArray(1, char(midiChannel_)) +
                  QByteArray(1, char(effectId_)) + QByteArray(1, char(effectVersion_)));
    if (effectId_ == 0) return;
    // Parameters beyond the sixteenth carry nothing; the slot keeps at most 16.
    const int kept = std::min(n, 16);
    const QByteArray slot = QByteArray("Z", 1) + QByteArray(1, char(kept)) + settingsRecord(kept);
    e.replace(effectId_ * kSettingsSlotSize, slot.size(), slot);
}

QByteArray VirtualPedal::eeprom(quint8 address) const {
    if (address != kSettingsEeprom && address != kProgramEeprom) return {};
    return eeproms_[address - kSettingsEeprom];
}

QByteArray VirtualPedal::bankImage(int bank) const {
    if (bank < 0 || bank > 2) return {};
    const QByteArray slot = eeproms_[1].mid(bank * kBankSlotSize, kBankSlotSize);
    const int length = (at(slot, 1) << 8) | at(slot, 2);
    if (length < kImageMinLength || length > kBankSlotSize) return {};
    const int id = at(slot, kImageIdOffset);
    if (id < 1 || id > 63) return {};
    return slot.left(length);
}

void VirtualPedal::runImage(const QByteArray& image) {
    const int id = at(image, kImageIdOffset);
    effectId_ = id;
    effectVersion_ = at(image, kImageVersionOffset);
    knownVersions_[id] = effectVersion_;
    if (auto table = addressTableOf(image)) addressTables_[id] = table;
}

void VirtualPedal::runBank(int bank) {
    const QByteArray image = bankImage(bank);
    if (image.isEmpty()) {
        effectId_ = 0;  // nothing stored in that bank: the pedal runs nothing
        return;
    }
    runImage(image);
}

void VirtualPedal::setEffect(int id, int version) {
    effectId_ = std::clamp(id, 0, 63);
    effectVersion_ = version;
    knownVersions_[effectId_] = version;
}

void VirtualPedal::setAddressTable(int effectId, const AddressTable& table) {
    addressTables_[std::clamp(effectId, 0, 63)] = table;
}

int VirtualPedal::slotFor(quint16 address) {
    auto& table = addressTables_[effectId_];
    if (!table && imageLookup_ && effectId_ != 0) table = addressTableOf(imageLookup_(effectId_));
    if (!table) return address < 16 ? address : -1;
    for (int i = 0; i < 16; ++i) {
        if ((*table)[i] == address) return i;
    }
    return -1;
}

void VirtualPedal::enterBootloader() {
    inBootloader_ = true;
    pending_.clear();
    bootloader_.reset();
}

void VirtualPedal::enterBootloaderAt(qint64 atNs) {
    enterBootloader();
    // Bytes that come while the part resets are lost: without timing, the
    // rest of the write that carried the restart.
    if (timing_ == Timing::Realistic)
        restartUntilNs_ = atNs + kRestartNs;
    else
        restartingThisWrite_ = true;
}

// --- front panel ---

void VirtualPedal::turnKnob(int kind, int index, int value) {
    if (inBootloader_) return;
    const quint16 v = quint16(value);
    QByteArray msg;
    msg.append(static_cast<char>(0xAA));
    msg.append(static_cast<char>(kind));
    msg.append(static_cast<char>(index));
    msg.append(static_cast<char>(v >> 8));
    msg.append(static_cast<char>(v & 0xFF));
    if (index >= 0 && index < 16) {
        EffectSettings& s = mutableSettings(effectId_);
        if ((kind >= 0 && kind <= 4) || kind == 11)
            s.values[index] = quint32(v) << 13;
        else if (kind >= 5 && kind <= 10)
            s.values[index] = v != 0 ? (1024u << 13) : 0u;
    }
    send(msg, panelNs());
}

void VirtualPedal::switchBank(int bank) {
    if (inBootloader_) return;
    if (bank >= 0 && bank <= 2) {
        bank_ = bank;
        if (bankMode_) runBank(bank);
    }
    send("0" + QByteArray::number(bank), panelNs());
}

void VirtualPedal::switchEffect(int id) {
    if (inBootloader_) return;
    if (id >= 0 && id <= 63) {
        effectId_ = id;
        effectVersion_ = knownVersions_[id] > 0 ? knownVersions_[id] : 1;
    }
    send("1" + QByteArray::number(id, 16).toUpper(), panelNs());
}

// --- faults ---

void VirtualPedal::clearFaults() {
    silent_.clear();
    garbage_.clear();
    bootloader_.clearFaults();
}

void VirtualPedal::unplug() {
    plugged_ = false;
    ++plugGeneration_;
    in_.clear();
    out_.clear();
    host_.clear();
    pending_.clear();
    hook_ = nullptr;
    notify();
}

void VirtualPedal::replug() {
    plugged_ = true;
    notify();
}

}  // namespace zendal
