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
}

void VirtualBootloader::loadFlash(const QByteArray& image) {
    flash_.fill(static_cast<char>(0xFF));
    flash_.replace(0, qMin<int>(image.size(), kFlashSize), image.left(kFlashSize));
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
    state_ = State::Idle;
    frame_.clear();
    Reaction r;
    if (fault == Fault::Nack) r.reply = bytes({kNack});
    return r;
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
    switch (state_) {
        case State::AwaitSync: {
            // Until the connection byte arrives the part cannot even tell the baud rate.
            if (byte != 0x7F) return r;
            auto [faulty, fault] = reach(Step::Connect);
            if (faulty) {
                if (fault == Fault::Nack) r.reply = bytes({kNack});
                return r;
            }
            state_ = State::Idle;
            r.reply = bytes({kAck});
            return r;
        }
        case State::Idle:
            if (byte == 0x7F && !strictReconnect_) {
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
            if (faulty) return refuse(fault);
            if (!checksumOk(frame_)) return refuse(Fault::Nack);
            const QByteArray data = frame_.mid(1, frame_.size() - 2);
            if (!inFlash(address_, data.size())) return refuse(Fault::Nack);
            const int offset = int(address_ - kFlashBase);
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
            if (faulty) return refuse(fault);
            if (!checksumOk(frame_)) return refuse(Fault::Nack);
            const QByteArray pages = frame_.mid(1, frame_.size() - 2);
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
            r.jumped = true;
            reset();
            break;
    }
    return r;
}

}  // namespace zendal
