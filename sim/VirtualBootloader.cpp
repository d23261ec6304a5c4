#include "sim/VirtualBootloader.h"

namespace zendal {

namespace {

constexpr quint8 kCmdGet = 0x00;
constexpr quint8 kCmdGetVersion = 0x01;
constexpr quint8 kCmdGetId = 0x02;
constexpr quint8 kCmdRead = 0x11;
constexpr quint8 kCmdGo = 0x21;
constexpr quint8 kCmdWrite = 0x31;
constexpr quint8 kCmdErase = 0x43;
constexpr quint8 kCmdWriteUnprotect = 0x73;
constexpr quint8 kCmdReadoutProtect = 0x82;
constexpr quint8 kCmdReadoutUnprotect = 0x92;
constexpr quint8 kBootloaderVersion = 0x22;

// 20 KB of SRAM on this part; the variant record's place in flash.
constexpr quint32 kSramStart = 0x20000000;
constexpr quint32 kSramEnd = 0x20005000;
constexpr int kVariantRecordOffset = 0x1FC00;

quint32 le32(const QByteArray& a, int i) {
    return quint32(quint8(a[i])) | (quint32(quint8(a[i + 1])) << 8) |
           (quint32(quint8(a[i + 2])) << 16) | (quint32(quint8(a[i + 3])) << 24);
}

QByteArray bytes(std::initializer_list<quint8> list) {
    QByteArray out;
    for (quint8 b : list) out.append(static_cast<char>(b));
    return out;
}

quint8 at(const QByteArray& a, int i) {
    return static_cast<quint8>(a[i]);
}

}  // namespace

VirtualBootloader::VirtualBootloader() : flash_(kFlashSize, static_cast<char>(0xFF)) {}

void VirtualBootloader::reset() {
    state_ = State::AwaitSync;
    frame_.clear();
    expected_ = 0;
    crashed_ = false;
}

void VirtualBootloader::loadFlash(const QByteArray& image, int variant) {
    flash_.fill(static_cast<char>(0xFF));
    flash_.replace(0, qMin<int>(image.size(), kVariantRecordOffset),
                   image.left(kVariantRecordOffset));
    if (image.isEmpty()) return;
    QByteArray record(8, '\0');
    record[7] = static_cast<char>(variant);
    flash_.replace(kVariantRecordOffset, record.size(), record);
}

bool VirtualBootloader::flashRunnable() const {
    const quint32 stack = le32(flash_, 0);
    const quint32 reset = le32(flash_, 4);
    const bool stackOk = stack > kSramStart && stack <= kSramEnd && (stack & 3) == 0;
    const quint32 code = reset & ~1u;
    const bool resetOk =
        (reset & 1) && code >= kFlashBase + 8 && code < kFlashBase + quint32(kFlashSize);
    const QByteArray record = flash_.mid(kVariantRecordOffset, 8);
    const bool recordOk =
        record.left(7) == QByteArray(7, '\0') && at(record, 7) != 0x00 && at(record, 7) != 0xFF;
    return stackOk && resetOk && recordOk;
}

int VirtualBootloader::firmwareVersionOf(const QByteArray& image) {
    static const QByteArray magic("ZDMOFW\0\0", 8);
    if (image.size() <= kVersionOffset) return 255;
    if (image.mid(kVersionMagicOffset, magic.size()) != magic) return 255;
    return at(image, kVersionOffset);
}

void VirtualBootloader::injectFault(Step step, Fault fault, int occurrence) {
    const int target = occurrence <= 0 ? 0 : counts_[static_cast<int>(step)] + occurrence;
    faults_[{step, target}] = fault;
}

std::pair<bool, VirtualBootloader::Fault> VirtualBootloader::reach(Step step) {
    const int n = ++counts_[static_cast<int>(step)];
    auto it = faults_.find({step, n});
    if (it != faults_.end()) {
        const Fault f = it->second;
        faults_.erase(it);
        return {true, f};
    }
    it = faults_.find({step, 0});
    if (it != faults_.end()) return {true, it->second};
    return {false, Fault::Nack};
}

VirtualBootloader::Reaction VirtualBootloader::refuse(Fault fault) {
    if (fault == Fault::PowerLoss) return powerLoss();
    state_ = State::Idle;
    frame_.clear();
    Reaction r;
    if (fault == Fault::Nack) r.reply = bytes({kNack});
    return r;
}

VirtualBootloader::Reaction VirtualBootloader::powerLoss() {
    state_ = State::Off;
    frame_.clear();
    expected_ = 0;
    return {};
}

bool VirtualBootloader::checksumOk(const QByteArray& frame) {
    quint8 x = 0;
    for (int i = 0; i < frame.size() - 1; ++i) x ^= at(frame, i);
    return x == at(frame, frame.size() - 1);
}

bool VirtualBootloader::inFlash(quint32 address, int length) {
    if (address < kFlashBase) return false;
    const quint64 end = quint64(address) + quint64(length);
    return end <= quint64(kFlashBase) + kFlashSize;
}

void VirtualBootloader::massErase() {
    flash_.fill(static_cast<char>(0xFF));
}

VirtualBootloader::Reaction VirtualBootloader::feed(quint8 byte) {
    Reaction r;
    if (crashed_) return r;
    switch (state_) {
        case State::Deaf:
        case State::Off:
            return r;
        case State::AwaitSync: {
            // The part measures the baud rate on the first byte it sees.
            if (byte != 0x7F) {
                if (!lenientSync_) state_ = State::Deaf;
                return r;
            }
            auto [faulty, fault] = reach(Step::Connect);
            if (faulty) {
                if (fault == Fault::PowerLoss) return powerLoss();
                if (fault == Fault::Nack) r.reply = bytes({kNack});
                return r;
            }
            state_ = State::Idle;
            r.reply = bytes({kAck});
            return r;
        }
        case State::Idle:
            if (byte == 0x7F && lenientReconnect_) {
                auto [faulty, fault] = reach(Step::Connect);
                if (faulty) return refuse(fault);
                r.reply = bytes({kAck});
                return r;
            }
            cmd_ = byte;
            state_ = State::Complement;
            return r;
        case State::Complement:
            if (byte != static_cast<quint8>(cmd_ ^ 0xFF)) return refuse(Fault::Nack);
            return command(cmd_);
        case State::ReadAddress:
        case State::WriteAddress:
        case State::GoAddress:
            frame_.append(static_cast<char>(byte));
            if (frame_.size() < 5) return r;
            return addressFrameDone();
        case State::ReadCount: {
            frame_.append(static_cast<char>(byte));
            if (frame_.size() < 2) return r;
            const quint8 n = at(frame_, 0);
            if (at(frame_, 1) != static_cast<quint8>(n ^ 0xFF) || !inFlash(address_, n + 1))
                return refuse(Fault::Nack);
            r.reply = bytes({kAck});
            r.reply.append(flash_.mid(int(address_ - kFlashBase), n + 1));
            state_ = State::Idle;
            frame_.clear();
            return r;
        }
        case State::WriteData: {
            frame_.append(static_cast<char>(byte));
            if (frame_.size() == 1) {
                expected_ = at(frame_, 0) + 1 + 2;  // N, N+1 data bytes, checksum
                return r;
            }
            if (frame_.size() < expected_) return r;
            auto [faulty, fault] = reach(Step::WriteData);
            const QByteArray data = frame_.mid(1, frame_.size() - 2);
            const bool fits = inFlash(address_, data.size());
            const int offset = fits ? int(address_ - kFlashBase) : 0;
            if (faulty && fault == Fault::PowerLoss) {
                // Power went while programming: the first half-words made it.
                const int done = (data.size() / 2) & ~1;
                for (int i = 0; fits && checksumOk(frame_) && i < done; ++i) {
                    if (at(flash_, offset + i) == 0xFF) flash_[offset + i] = data[i];
                }
                return powerLoss();
            }
            if (faulty) return refuse(fault);
            if (!checksumOk(frame_)) return refuse(Fault::Nack);
            if (!fits) return refuse(Fault::Nack);
            // Programming works half-word by half-word: a padded odd tail still
            // needs its neighbour erased.
            const int span = qMin<int>((data.size() + 1) & ~1, kFlashSize - offset);
            for (int i = 0; i < span; ++i) {
                if (at(flash_, offset + i) != 0xFF) return refuse(Fault::Nack);
            }
            flash_.replace(offset, data.size(), data);
            r.busyNs = kHalfWordProgramNs * ((data.size() + 1) / 2);
            r.reply = bytes({kAck});
            state_ = State::Idle;
            frame_.clear();
            return r;
        }
        case State::EraseFirst:
            if (byte == 0xFF) {
                state_ = State::EraseGlobalChecksum;
                return r;
            }
            frame_ = QByteArray(1, static_cast<char>(byte));
            expected_ = byte + 1 + 2;  // N, N+1 page numbers, checksum
            state_ = State::ErasePages;
            return r;
        case State::EraseGlobalChecksum: {
            if (byte != 0x00) return refuse(Fault::Nack);
            auto [faulty, fault] = reach(Step::EraseSelector);
            if (faulty && fault == Fault::PowerLoss) {
                // Pages go one after another: the lower half was erased.
                flash_.replace(0, kFlashSize / 2, QByteArray(kFlashSize / 2, char(0xFF)));
                return powerLoss();
            }
            if (faulty) return refuse(fault);
            massErase();
            r.busyNs = kMassEraseNs;
            r.reply = bytes({kAck});
            state_ = State::Idle;
            return r;
        }
        case State::ErasePages: {
            frame_.append(static_cast<char>(byte));
            if (frame_.size() < expected_) return r;
            auto [faulty, fault] = reach(Step::EraseSelector);
            const QByteArray pages = frame_.mid(1, frame_.size() - 2);
            if (faulty && fault == Fault::PowerLoss) {
                for (int i = 0; i < pages.size() / 2; ++i) {
                    const int page = at(pages, i);
                    if (page < kFlashSize / kPageSize)
                        flash_.replace(page * kPageSize, kPageSize,
                                       QByteArray(kPageSize, char(0xFF)));
                }
                return powerLoss();
            }
            if (faulty) return refuse(fault);
            if (!checksumOk(frame_)) return refuse(Fault::Nack);
            for (char p : pages) {
                if (static_cast<quint8>(p) >= kFlashSize / kPageSize) return refuse(Fault::Nack);
            }
            for (char p : pages) {
                flash_.replace(static_cast<quint8>(p) * kPageSize, kPageSize,
                               QByteArray(kPageSize, static_cast<char>(0xFF)));
            }
            r.busyNs = kPageEraseNs * pages.size();
            r.reply = bytes({kAck});
            state_ = State::Idle;
            frame_.clear();
            return r;
        }
    }
    return r;
}

VirtualBootloader::Reaction VirtualBootloader::command(quint8 cmd) {
    Reaction r;
    state_ = State::Idle;
    frame_.clear();
    auto gate = [&](Step step) -> bool {
        auto [faulty, fault] = reach(step);
        if (faulty) r = refuse(fault);
        return !faulty;
    };
    switch (cmd) {
        case kCmdGet:
            if (!gate(Step::Get)) return r;
            r.reply = bytes({kAck, 0x0B, kBootloaderVersion, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31,
                             0x43, 0x63, 0x73, 0x82, 0x92, kAck});
            return r;
        case kCmdGetVersion:
            if (!gate(Step::GetVersion)) return r;
            r.reply = bytes({kAck, kBootloaderVersion, 0x00, 0x00, kAck});
            return r;
        case kCmdGetId:
            if (!gate(Step::GetId)) return r;
            r.reply = bytes({kAck, 0x01, 0x04, 0x10, kAck});
            return r;
        case kCmdRead:
            if (!gate(Step::Read)) return r;
            if (readProtected_) return refuse(Fault::Nack);
            state_ = State::ReadAddress;
            r.reply = bytes({kAck});
            return r;
        case kCmdGo:
            if (!gate(Step::Go)) return r;
            state_ = State::GoAddress;
            r.reply = bytes({kAck});
            return r;
        case kCmdWrite:
            if (!gate(Step::WriteCommand)) return r;
            if (readProtected_) return refuse(Fault::Nack);
            state_ = State::WriteAddress;
            r.reply = bytes({kAck});
            return r;
        case kCmdErase:
            if (!gate(Step::EraseCommand)) return r;
            if (readProtected_) return refuse(Fault::Nack);
            state_ = State::EraseFirst;
            r.reply = bytes({kAck});
            return r;
        case kCmdWriteUnprotect:
            // Nothing is write protected here; the part resets after the second ACK.
            r.reply = bytes({kAck, kAck});
            reset();
            return r;
        case kCmdReadoutProtect:
            readProtected_ = true;
            r.reply = bytes({kAck, kAck});
            reset();
            return r;
        case kCmdReadoutUnprotect:
            // Removing the protection costs the whole flash, as on real parts.
            massErase();
            readProtected_ = false;
            r.reply = bytes({kAck, kAck});
            r.busyNs = kMassEraseNs;
            reset();
            return r;
        default:
            return refuse(Fault::Nack);
    }
}

VirtualBootloader::Reaction VirtualBootloader::addressFrameDone() {
    Reaction r;
    const State which = state_;
    if (which == State::WriteAddress) {
        auto [faulty, fault] = reach(Step::WriteAddress);
        if (faulty) return refuse(fault);
    }
    if (!checksumOk(frame_)) return refuse(Fault::Nack);
    const quint32 address = (quint32(at(frame_, 0)) << 24) | (quint32(at(frame_, 1)) << 16) |
                            (quint32(at(frame_, 2)) << 8) | quint32(at(frame_, 3));
    if (!inFlash(address, 1)) return refuse(Fault::Nack);
    address_ = address;
    frame_.clear();
    r.reply = bytes({kAck});
    switch (which) {
        case State::ReadAddress:
            state_ = State::ReadCount;
            break;
        case State::WriteAddress:
            state_ = State::WriteData;
            expected_ = 0;
            break;
        default:  // GO
            jumpAddress_ = address;
            reset();
            // The acknowledge still goes out; what runs next depends on the flash.
            if (flashRunnable())
                r.jumped = true;
            else
                crashed_ = true;
            break;
    }
    return r;
}

}  // namespace zendal
