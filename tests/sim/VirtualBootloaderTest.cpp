#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "sim/SimTestUtil.h"
#include "sim/VirtualBootloader.h"
#include "sim/VirtualPedal.h"

using namespace zendal;
using zendal::simtest::firmwareImage;
using zendal::simtest::hex;
using Step = VirtualBootloader::Step;
using Fault = VirtualBootloader::Fault;

namespace {

// A firmware image the part would start: stack 0x20005000, reset 0x08000101.
QByteArray bootableImage(int size, int version, bool withMagic = true) {
    QByteArray image = firmwareImage(size, version, withMagic);
    image.replace(0, 8, hex("00 50 00 20 01 01 00 08"));
    return image;
}

QByteArray addressFrame(quint32 a) {
    QByteArray f;
    f.append(char(a >> 24)).append(char(a >> 16)).append(char(a >> 8)).append(char(a));
    f.append(char(quint8(f[0]) ^ quint8(f[1]) ^ quint8(f[2]) ^ quint8(f[3])));
    return f;
}

QByteArray dataBlock(const QByteArray& data) {
    quint8 x = quint8(data.size() - 1);
    QByteArray f(1, char(x));
    for (char c : data) x ^= quint8(c);
    return f + data + QByteArray(1, char(x));
}

QByteArray pageList(std::initializer_list<quint8> pages) {
    quint8 x = quint8(pages.size() - 1);
    QByteArray f(1, char(x));
    for (quint8 p : pages) {
        f.append(char(p));
        x ^= p;
    }
    return f + QByteArray(1, char(x));
}

// Feeds bytes and collects everything the bootloader answers.
struct Session {
    VirtualBootloader boot;
    qint64 busyNs = 0;
    bool jumped = false;

    QByteArray send(const QByteArray& bytes) {
        QByteArray out;
        for (char c : bytes) {
            const auto r = boot.feed(quint8(c));
            out += r.reply;
            busyNs += r.busyNs;
            jumped = jumped || r.jumped;
        }
        return out;
    }
    QByteArray connect() { return send(hex("7F")); }
    QByteArray write(quint32 address, const QByteArray& data) {
        return send(hex("31 CE") + addressFrame(address) + dataBlock(data));
    }
    QByteArray read(quint32 address, int n) {
        return send(hex("11 EE") + addressFrame(address) + QByteArray(1, char(n - 1)) +
                    QByteArray(1, char(~quint8(n - 1))));
    }
};

}  // namespace

TEST(VirtualBootloaderCommands, AnswersWithTheBytesOfAnSTM32F1) {
    struct Case {
        const char* name;
        QByteArray sent;
        QByteArray reply;
    };
    const Case cases[] = {
        {"GET", hex("00 FF"), hex("79 0B 22 00 01 02 11 21 31 43 63 73 82 92 79")},
        {"GET_VERSION", hex("01 FE"), hex("79 22 00 00 79")},
        {"GET_ID", hex("02 FD"), hex("79 01 04 10 79")},
        {"wrong complement", hex("00 00"), hex("1F")},
        {"extended erase is not offered", hex("44 BB"), hex("1F")},
        {"write protect is refused", hex("63 9C"), hex("1F")},
        {"unknown command", hex("55 AA"), hex("1F")},
        {"a second connection byte is a command byte", hex("7F 80"), hex("1F")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_EQ(s.connect(), hex("79"));
        EXPECT_EQ(s.send(c.sent), c.reply);
        EXPECT_EQ(s.send(hex("01 FE")), hex("79 22 00 00 79"));  // still in step
    }
}

TEST(VirtualBootloaderCommands, AByteBeforeTheConnectionByteBreaksSpeedDetection) {
    for (const bool lenient : {false, true}) {
        SCOPED_TRACE(lenient ? "lenient" : "strict");
        Session s;
        s.boot.setLenientSync(lenient);
        EXPECT_TRUE(s.send(hex("05 00 01")).isEmpty());
        EXPECT_EQ(s.boot.silent(), !lenient);
        EXPECT_EQ(s.connect(), lenient ? hex("79") : QByteArray());
        EXPECT_EQ(s.boot.connected(), lenient);
        // Only a new start brings the strict part back.
        s.boot.reset();
        EXPECT_EQ(s.connect(), hex("79"));
    }
}

TEST(VirtualBootloaderCommands, OnlyTheFirstConnectionByteIsAnswered) {
    Session strict;
    ASSERT_EQ(strict.connect(), hex("79"));
    EXPECT_TRUE(strict.send(hex("7F")).isEmpty());
    EXPECT_EQ(strict.send(hex("7F")), hex("1F"));
    EXPECT_EQ(strict.send(hex("00 FF")).left(1), hex("79")) << "still connected";

    Session lenient;
    lenient.boot.setLenientReconnect(true);
    ASSERT_EQ(lenient.connect(), hex("79"));
    EXPECT_EQ(lenient.connect(), hex("79"));
}

TEST(VirtualBootloaderMemory, WrittenBlocksReadBackAndOnlyErasedCellsProgram) {
    Session s;
    s.connect();
    EXPECT_EQ(s.send(hex("43 BC FF 00")), hex("79 79"));
    const QByteArray block = firmwareImage(256, 1, false);
    EXPECT_EQ(s.write(0x08000100, block), hex("79 79 79"));
    EXPECT_EQ(s.boot.flash().mid(0x100, 256), block);
    EXPECT_EQ(s.read(0x08000100, 256), hex("79 79 79") + block);

    // Programmed cells refuse to be programmed again; nothing of the block lands.
    EXPECT_EQ(s.write(0x080001FE, hex("00 00 00 00")), hex("79 79 1F"));
    EXPECT_EQ(s.boot.flash().mid(0x200, 2), hex("FF FF"));

    // Erasing the page makes it writable again, and only that page is erased.
    EXPECT_EQ(s.write(0x08000400, hex("12 34")), hex("79 79 79"));
    EXPECT_EQ(s.send(hex("43 BC") + pageList({0})), hex("79 79"));
    EXPECT_EQ(s.boot.flash().mid(0x100, 256), QByteArray(256, char(0xFF)));
    EXPECT_EQ(s.boot.flash().mid(0x400, 2), hex("12 34"));
    EXPECT_EQ(s.write(0x08000100, block), hex("79 79 79"));
}

TEST(VirtualBootloaderMemory, FramesWithBadChecksumsOrAddressesAreRefused) {
    struct Case {
        const char* name;
        QByteArray sent;
        QByteArray reply;
    };
    QByteArray badData = dataBlock(hex("01 02"));
    badData[badData.size() - 1] = char(quint8(badData[badData.size() - 1]) ^ 0x01);
    QByteArray badPages = pageList({1, 2});
    badPages[badPages.size() - 1] = char(0x55);
    QByteArray badAddress = addressFrame(0x08000000);
    badAddress[4] = char(0x09);
    const Case cases[] = {
        {"write address checksum", hex("31 CE") + badAddress, hex("79 1F")},
        {"write data checksum", hex("31 CE") + addressFrame(0x08000000) + badData, hex("79 79 1F")},
        {"write outside the flash", hex("31 CE") + addressFrame(0x08020000), hex("79 1F")},
        {"block past the end of the flash",
         hex("31 CE") + addressFrame(0x0801FFFE) + dataBlock(hex("01 02 03 04")), hex("79 79 1F")},
        {"global erase checksum", hex("43 BC FF 01"), hex("79 1F")},
        {"page list checksum", hex("43 BC") + badPages, hex("79 1F")},
        {"page beyond the flash", hex("43 BC") + pageList({128}), hex("79 1F")},
        {"read count complement", hex("11 EE") + addressFrame(0x08000000) + hex("FF FF"),
         hex("79 79 1F")},
        {"go outside the flash", hex("21 DE") + addressFrame(0x20000000), hex("79 1F")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        s.connect();
        s.boot.flash().fill(char(0x5A));  // so that an erase would show
        EXPECT_EQ(s.send(c.sent), c.reply);
        EXPECT_EQ(s.boot.flash(), QByteArray(VirtualBootloader::kFlashSize, char(0x5A)));
        EXPECT_FALSE(s.jumped);
        EXPECT_EQ(s.send(hex("02 FD")), hex("79 01 04 10 79"));  // back to waiting for a command
    }
}

TEST(VirtualBootloaderMemory, ReadProtectionRefusesReadsWritesAndErases) {
    Session s;
    s.connect();
    s.boot.setReadProtected(true);
    EXPECT_EQ(s.send(hex("11 EE")), hex("1F"));
    EXPECT_EQ(s.send(hex("31 CE")), hex("1F"));
    EXPECT_EQ(s.send(hex("43 BC")), hex("1F"));
    // Unprotecting costs the flash and restarts the bootloader.
    s.boot.flash()[0] = 0x12;
    EXPECT_EQ(s.send(hex("92 6D")), hex("79 79"));
    EXPECT_FALSE(s.boot.readProtected());
    EXPECT_EQ(quint8(s.boot.flash()[0]), 0xFF);
    EXPECT_FALSE(s.boot.connected());
}

TEST(VirtualBootloaderMemory, ProgrammingAndErasingTakeTheirTime) {
    Session s;
    s.connect();
    s.send(hex("43 BC FF 00"));
    EXPECT_EQ(s.busyNs, VirtualBootloader::kMassEraseNs);
    s.busyNs = 0;
    s.send(hex("43 BC") + pageList({0, 1, 2}));
    EXPECT_EQ(s.busyNs, 3 * VirtualBootloader::kPageEraseNs);
    s.busyNs = 0;
    s.write(0x08000000, QByteArray(256, '\0'));
    EXPECT_EQ(s.busyNs, 128 * VirtualBootloader::kHalfWordProgramNs);
}

TEST(VirtualBootloaderFaults, EveryStepCanBeMadeToFail) {
    struct Case {
        Step step;
        int occurrence;
        QByteArray sent;  // after connecting
        QByteArray nackReply;
        QByteArray silentReply;
    };
    const QByteArray write = hex("31 CE") + addressFrame(0x08000000) + dataBlock(hex("01 02"));
    const QByteArray write2 = hex("31 CE") + addressFrame(0x08000004) + dataBlock(hex("03 04"));
    const Case cases[] = {
        {Step::Get, 1, hex("00 FF"), hex("1F"), {}},
        {Step::GetVersion, 1, hex("01 FE"), hex("1F"), {}},
        {Step::GetId, 1, hex("02 FD"), hex("1F"), {}},
        {Step::EraseCommand, 1, hex("43 BC"), hex("1F"), {}},
        {Step::EraseSelector, 1, hex("43 BC FF 00"), hex("79 1F"), hex("79")},
        {Step::WriteCommand, 2, write + hex("31 CE"), hex("79 79 79 1F"), hex("79 79 79")},
        {Step::WriteAddress, 2, write + hex("31 CE") + addressFrame(0x08000004),
         hex("79 79 79 79 1F"), hex("79 79 79 79")},
        {Step::WriteData, 2, write + write2, hex("79 79 79 79 79 1F"), hex("79 79 79 79 79")},
        {Step::Read, 1, hex("11 EE"), hex("1F"), {}},
        {Step::Go, 1, hex("21 DE"), hex("1F"), {}},
    };
    for (const Case& c : cases) {
        for (Fault fault : {Fault::Nack, Fault::Silence}) {
            SCOPED_TRACE(QString("step %1, %2")
                             .arg(int(c.step))
                             .arg(fault == Fault::Nack ? "NACK" : "silence")
                             .toStdString());
            Session s;
            s.connect();
            s.boot.injectFault(c.step, fault, c.occurrence);
            EXPECT_EQ(s.send(c.sent), fault == Fault::Nack ? c.nackReply : c.silentReply);
            // The fault hits once; the bootloader then waits for the next command.
            EXPECT_EQ(s.send(hex("01 FE")), hex("79 22 00 00 79"));
        }
    }
}

TEST(VirtualBootloaderFaults, ConnectionFaultsAndFaultsOnEveryOccurrence) {
    Session nack;
    nack.boot.injectFault(Step::Connect, Fault::Nack);
    EXPECT_EQ(nack.connect(), hex("1F"));
    EXPECT_FALSE(nack.boot.connected());
    EXPECT_EQ(nack.connect(), hex("79"));

    Session silent;
    silent.boot.injectFault(Step::Connect, Fault::Silence);
    EXPECT_TRUE(silent.connect().isEmpty());
    EXPECT_EQ(silent.connect(), hex("79"));

    Session always;
    always.connect();
    always.boot.injectFault(Step::GetId, Fault::Nack, 0);
    EXPECT_EQ(always.send(hex("02 FD 02 FD")), hex("1F 1F"));
    always.boot.clearFaults();
    EXPECT_EQ(always.send(hex("02 FD")), hex("79 01 04 10 79"));
    EXPECT_EQ(always.boot.stepCount(Step::GetId), 3);
}

TEST(VirtualBootloaderPedal, GoStartsOnlyAWholeImageWhichReportsItsVersion) {
    struct Case {
        const char* name;
        QByteArray image;
        bool record;   // the variant record written last
        int firmware;  // reported after GO; -1: nothing answers
    };
    const Case cases[] = {
        {"image with a version", bootableImage(41712, 7), true, 7},
        {"image without the version marker", bootableImage(2048, 7, false), true, 255},
        {"image without its variant record", bootableImage(41712, 7), false, -1},
        {"no vector table", firmwareImage(2048, 7), true, -1},
        {"erased flash", QByteArray(), false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualPedal pedal(VirtualPedal::Config::lenient());
        pedal.setRequireSaveHeld(false);
        pedal.receive(hex("05 00 01 02 03 04 05 06"));
        ASSERT_TRUE(pedal.inBootloader());
        pedal.setLineSettings(115200, LineParity::Even);
        QByteArray expected;
        QByteArray sent = hex("7F 43 BC FF 00");
        expected += hex("79 79 79");
        for (int o = 0; o < c.image.size(); o += 256) {
            sent += hex("31 CE") + addressFrame(0x08000000 + o) + dataBlock(c.image.mid(o, 256));
            expected += hex("79 79 79");
        }
        if (c.record) {
            sent += hex("31 CE") + addressFrame(0x0801FC00) + dataBlock(hex("00000000000000 05"));
            expected += hex("79 79 79");
        }
        sent += hex("21 DE") + addressFrame(0x08000000);
        expected += hex("79 79");
        pedal.receive(sent);
        EXPECT_EQ(pedal.takeOutput(), expected);
        EXPECT_EQ(pedal.bootloader().flash().left(c.image.size()), c.image);
        EXPECT_EQ(pedal.bootloader().crashed(), c.firmware < 0);

        pedal.setLineSettings(115200, LineParity::None);
        pedal.receive(hex("06 00"));
        if (c.firmware < 0) {
            // Neither the firmware nor the bootloader answers.
            EXPECT_TRUE(pedal.takeOutput().isEmpty());
            pedal.setLineSettings(115200, LineParity::Even);
            pedal.receive(hex("7F 00 FF"));
            EXPECT_TRUE(pedal.takeOutput().isEmpty());
            continue;
        }
        EXPECT_FALSE(pedal.inBootloader());
        EXPECT_EQ(pedal.takeOutput(), "1\r\n38\r\n1\r\n" + QByteArray::number(c.firmware) + "\r\n");
    }
}

TEST(VirtualBootloaderFaults, PowerLossLeavesTheFlashAsItWasAtThatMoment) {
    const QByteArray image = bootableImage(2048, 3);
    const QByteArray record = hex("00000000000000 03");
    QByteArray session = hex("43 BC FF 00");
    for (int o = 0; o < image.size(); o += 256)
        session += hex("31 CE") + addressFrame(0x08000000 + o) + dataBlock(image.mid(o, 256));
    session += hex("31 CE") + addressFrame(0x0801FC00) + dataBlock(record);
    struct Case {
        const char* name;
        Step step;
        int occurrence;
        std::function<void(const QByteArray& flash)> check;
    };
    const QByteArray erased(256, char(0xFF));
    const Case cases[] = {
        {"erase: the lower half of the pages went", Step::EraseSelector, 1,
         [&](const QByteArray& f) {
             EXPECT_EQ(f.mid(0, 256), erased);
             EXPECT_EQ(f.mid(VirtualBootloader::kFlashSize / 2 - 256, 256), erased);
             EXPECT_EQ(f.mid(VirtualBootloader::kFlashSize / 2, 256), QByteArray(256, char(0x5A)));
         }},
        {"block 3: blocks 0-2 and half of block 3", Step::WriteData, 4,
         [&](const QByteArray& f) {
             EXPECT_EQ(f.left(3 * 256 + 128), image.left(3 * 256 + 128));
             EXPECT_EQ(f.mid(3 * 256 + 128, 128), QByteArray(128, char(0xFF)));
             EXPECT_EQ(f.mid(0x1FC00, 8), QByteArray(8, char(0xFF)));
         }},
        {"variant record: the image, no record", Step::WriteData, 9,
         [&](const QByteArray& f) {
             EXPECT_EQ(f.left(image.size()), image);
             EXPECT_EQ(f.mid(0x1FC00, 4), hex("00000000"));
             EXPECT_EQ(f.mid(0x1FC04, 4), hex("FFFFFFFF"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        s.connect();
        s.boot.flash().fill(char(0x5A));
        s.boot.injectFault(c.step, Fault::PowerLoss, c.occurrence);
        s.send(session);
        EXPECT_TRUE(s.boot.poweredOff());
        c.check(s.boot.flash());
        EXPECT_FALSE(s.boot.flashRunnable());
        // Nothing answers until the power is back; then a fresh start.
        EXPECT_TRUE(s.send(hex("7F 00 FF")).isEmpty());
        s.boot.powerOn();
        EXPECT_EQ(s.connect(), hex("79"));
        EXPECT_EQ(s.send(hex("01 FE")), hex("79 22 00 00 79"));
    }
}

TEST(VirtualBootloaderPedal, GoWithoutWritingKeepsTheFirmwareThePedalHad) {
    VirtualPedal pedal({0x26, 1, 4, true, VirtualPedal::Timing::Instant});
    pedal.setLineSettings(115200, LineParity::Even);
    pedal.receive(hex("7F 21 DE") + addressFrame(0x08000000));
    EXPECT_EQ(pedal.takeOutput(), hex("79 79 79"));
    pedal.setLineSettings(115200, LineParity::None);
    pedal.receive(hex("06 00"));
    EXPECT_EQ(pedal.takeOutput(), QByteArray("1\r\n38\r\n1\r\n4\r\n"));
}

TEST(VirtualBootloaderPedal, WireTimeDelaysTheEraseAcknowledge) {
    VirtualPedal pedal({0x26, 1, 5, true});  // realistic timing
    pedal.setLineSettings(115200, LineParity::Even);
    pedal.setLatencyTimer(1);  // the USB chip sends what it has every millisecond
    const qint64 t0 = 1'000'000;
    pedal.receive(hex("7F"), t0);
    pedal.takeOutput(t0 + 1000);
    pedal.receive(hex("43 BC FF 00"), t0 + 1000);
    // Command ACK after two bytes in and one out at 8E1, on the next millisecond.
    EXPECT_EQ(pedal.bytesAvailable(t0 + 1000 + 3 * 96), 0);
    EXPECT_EQ(pedal.takeOutput(t0 + 2000), hex("79"));
    const qint64 eraseDone =
        t0 + 1000 + (4 * VirtualPedal::kByteNs8E1 + VirtualBootloader::kMassEraseNs) / 1000;
    EXPECT_EQ(pedal.bytesAvailable(eraseDone), 0);
    EXPECT_EQ(pedal.takeOutput(eraseDone + 200 + 1000), hex("79"));
}

// --- stm32flash, a bootloader client that is not ours, on a pseudo-terminal ---

namespace {

// The bootloader model alone behind a pseudo-terminal, answered from a thread.
class PtyBootloader {
  public:
    PtyBootloader() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        termios tio{};
        ::tcgetattr(slave_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
        path_ = QString::fromLocal8Bit(name);
        thread_ = std::thread([this] { run(); });
    }
    ~PtyBootloader() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    QString path() const { return path_; }
    template <typename F>
    auto with(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(boot_);
    }
    // Bytes from the host side, as another program on the line would send them.
    void hostSends(const QByteArray& bytes) {
        taken_ = 0;
        [[maybe_unused]] ssize_t n = ::write(slave_, bytes.constData(), bytes.size());
        // The model takes them before anything else arrives.
        QDeadlineTimer deadline(kLimitMs);
        while (taken_ < bytes.size() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    static constexpr int kLimitMs = 20000;

  private:
    void run() {
        char buffer[512];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) continue;
            QByteArray reply;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (ssize_t i = 0; i < n; ++i) reply += boot_.feed(quint8(buffer[i])).reply;
                taken_ += int(n);
            }
            if (!reply.isEmpty()) {
                [[maybe_unused]] ssize_t w = ::write(master_, reply.constData(), reply.size());
            }
        }
    }

    int master_ = -1;
    int slave_ = -1;
    QString path_;
    VirtualBootloader boot_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::atomic<int> taken_{0};
    std::thread thread_;
};

struct FlashRun {
    int exitCode = -1;
    QByteArray log;
};

FlashRun stm32flash(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, QStringList{"-m", "8n1", "-b", "115200"} + args);
    FlashRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.log = p.readAll();
    return r;
}

}  // namespace

TEST(VirtualBootloaderStm32flash, AByteBeforeTheConnectionByteLeavesThePartDeaf) {
    const QString program = QStandardPaths::findExecutable("stm32flash");
    if (program.isEmpty()) GTEST_SKIP() << "stm32flash is not installed";
    for (const bool lenient : {false, true}) {
        SCOPED_TRACE(lenient ? "lenient" : "strict");
        PtyBootloader pty;
        ASSERT_FALSE(pty.path().isEmpty());
        pty.with([&](VirtualBootloader& b) { b.setLenientSync(lenient); });
        pty.hostSends(hex("05"));
        const FlashRun r = stm32flash(program, {pty.path()});
        EXPECT_EQ(r.exitCode == 0, lenient) << r.log.toStdString();
        // A new start of the part, and it answers again.
        pty.with([](VirtualBootloader& b) { b.reset(); });
        const FlashRun again = stm32flash(program, {pty.path()});
        EXPECT_EQ(again.exitCode, 0) << again.log.toStdString();
        EXPECT_TRUE(again.log.contains("Device ID    : 0x0410")) << again.log.toStdString();
    }
}

TEST(VirtualBootloaderStm32flash, GoIntoAnErasedFlashLeavesAPartThatAnswersNothing) {
    const QString program = QStandardPaths::findExecutable("stm32flash");
    if (program.isEmpty()) GTEST_SKIP() << "stm32flash is not installed";
    PtyBootloader pty;
    ASSERT_FALSE(pty.path().isEmpty());
    // Connected by the first run; the later runs resume without a second 7F.
    FlashRun r = stm32flash(program, {"-o", pty.path()});
    ASSERT_EQ(r.exitCode, 0) << r.log.toStdString();
    EXPECT_EQ(pty.with([](VirtualBootloader& b) { return b.flash(); }),
              QByteArray(VirtualBootloader::kFlashSize, char(0xFF)));
    r = stm32flash(program, {"-c", "-g", "0x0", pty.path()});
    EXPECT_TRUE(pty.with([](VirtualBootloader& b) { return b.crashed(); })) << r.log.toStdString();
    r = stm32flash(program, {"-c", pty.path()});
    EXPECT_NE(r.exitCode, 0) << r.log.toStdString();
    r = stm32flash(program, {pty.path()});
    EXPECT_NE(r.exitCode, 0) << "not even a new connection byte: " << r.log.toStdString();

    // Power back: the bootloader, and a complete image starts.
    pty.with([](VirtualBootloader& b) { b.powerOn(); });
    QTemporaryDir dir;
    const QString file = dir.filePath("image.bin");
    {
        QByteArray image = bootableImage(41712, 9);
        image += QByteArray(0x1FC00 - image.size(), char(0xFF));
        image += hex("00 00 00 00 00 00 00 09");
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    r = stm32flash(program, {"-w", file, "-v", "-g", "0x0", pty.path()});
    ASSERT_EQ(r.exitCode, 0) << r.log.toStdString();
    EXPECT_FALSE(pty.with([](VirtualBootloader& b) { return b.crashed(); }));
    EXPECT_EQ(pty.with([](VirtualBootloader& b) { return b.flashedFirmwareVersion(); }), 9);
}
