#include "sim/VirtualPedal.h"

#include <algorithm>

namespace zendal {

namespace {

constexpr quint8 kUploadPreset = 0x00;
constexpr quint8 kUploadBank1 = 0x0E;
constexpr quint8 kUploadBank3 = 0x10;
constexpr int kImageIdOffset = 35;
constexpr int kImageVersionOffset = 36;
constexpr int kImageMinLength = kImageVersionOffset + 1;
constexpr int kAddressTableOffset = 3;

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
    if (pending_.isEmpty() || nowNs - lastRxNs_ < kIdleTimeoutUs * 1000) return;
    const quint8 code = at(pending_, 0);
    pending_.clear();
    ++dropped_;
    if (isUpload(code)) answer(code, "Upload Failed", lastRxNs_ + kIdleTimeoutUs * 1000);
}

void VirtualPedal::send(const QByteArray& bytes, qint64 readyNs, qint64 byteNs) {
    if (!plugged_ || bytes.isEmpty()) return;
    for (char c : bytes) {
        qint64 visible = 0;
        if (wireTime_) {
            visible = std::max(readyNs, txFreeNs_) + byteNs;
            txFreeNs_ = visible;
        }
        out_.push_back({static_cast<quint8>(c), visible});
    }
    notify();
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
        send(junk, atNs, kByteNs8N1);
        return;
    }
    send(normal, atNs, kByteNs8N1);
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
    const qint64 now = toNs(nowUs);
    advance(now);
    // Bytes become visible in order, so the visible ones are a prefix.
    const auto end = std::partition_point(out_.begin(), out_.end(),
                                          [now](const OutByte& b) { return b.visibleNs <= now; });
    return end - out_.begin();
}

QByteArray VirtualPedal::takeOutput(qint64 nowUs, qint64 maxBytes) {
    const qint64 now = toNs(nowUs);
    advance(now);
    QByteArray bytes;
    while (!out_.empty() && out_.front().visibleNs <= now &&
           (maxBytes < 0 || bytes.size() < maxBytes)) {
        bytes.append(static_cast<char>(out_.front().byte));
        out_.pop_front();
    }
    return bytes;
}

void VirtualPedal::purgeOutput(qint64 nowUs) {
    takeOutput(nowUs);
}

qint64 VirtualPedal::nextEventUs(qint64 nowUs) {
    const qint64 now = toNs(nowUs);
    advance(now);
    qint64 next = -1;
    if (!out_.empty()) next = std::max(out_.front().visibleNs, now);
    if (!pending_.isEmpty()) {
        const qint64 timeout = lastRxNs_ + kIdleTimeoutUs * 1000;
        next = next < 0 ? timeout : std::min(next, timeout);
    }
    return next < 0 ? -1 : (next + 999) / 1000;
}

void VirtualPedal::setLineSettings(quint32 baud, LineParity parity, bool eightBits) {
    baud_ = baud;
    parity_ = parity;
    eightBits_ = eightBits;
}

bool VirtualPedal::acceptsByte() const {
    if (baud_ != 115200 || !eightBits_) return false;
    if (!requireParity_ || parity_ == LineParity::Unknown) return true;
    return inBootloader_ ? parity_ == LineParity::Even : parity_ == LineParity::None;
}

// --- input ---

void VirtualPedal::receive(const QByteArray& bytes, qint64 nowUs) {
    const qint64 now = toNs(nowUs);
    if (!plugged_) return;
    advance(now);
    const bool paritied = parity_ != LineParity::None && parity_ != LineParity::Unknown;
    const qint64 byteNs = paritied ? kByteNs8E1 : kByteNs8N1;
    for (char c : bytes) {
        qint64 arrival = now;
        if (wireTime_) {
            rxFreeNs_ = std::max(rxFreeNs_, now) + byteNs;
            arrival = rxFreeNs_;
        }
        if (!acceptsByte()) {
            ++ignored_;
            continue;
        }
        const quint8 b = static_cast<quint8>(c);
        if (inBootloader_) {
            const VirtualBootloader::Reaction r = bootloader_.feed(b);
            send(r.reply, arrival + r.busyNs, kByteNs8E1);
            if (r.jumped) {
                inBootloader_ = false;
                firmwareVersion_ = bootloader_.flashedFirmwareVersion();
            }
        } else {
            firmwareByte(b, arrival);
        }
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
            // Whatever followed the restart message is the bootloader's.
            const QByteArray rest = pending_;
            pending_.clear();
            for (char c : rest) {
                const VirtualBootloader::Reaction r = bootloader_.feed(static_cast<quint8>(c));
                send(r.reply, atNs + r.busyNs, kByteNs8E1);
            }
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
            if (msg == restart && (!requireSaveHeld_ || saveHeld_)) enterBootloader();
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
    send(msg, lastNowNs_, kByteNs8N1);
}

void VirtualPedal::switchBank(int bank) {
    if (inBootloader_) return;
    if (bank >= 0 && bank <= 2) {
        bank_ = bank;
        if (bankMode_) runBank(bank);
    }
    send("0" + QByteArray::number(bank), lastNowNs_, kByteNs8N1);
}

void VirtualPedal::switchEffect(int id) {
    if (inBootloader_) return;
    if (id >= 0 && id <= 63) {
        effectId_ = id;
        effectVersion_ = knownVersions_[id] > 0 ? knownVersions_[id] : 1;
    }
    send("1" + QByteArray::number(id, 16).toUpper(), lastNowNs_, kByteNs8N1);
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
    out_.clear();
    pending_.clear();
    notify();
}

void VirtualPedal::replug() {
    plugged_ = true;
    notify();
}

}  // namespace zendal
