#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>

#include "sim/SimTestUtil.h"

using zendal::simtest::firmwareImage;
using zendal::simtest::hex;
using zendal::simtest::makeImage;

namespace {

// Generous: only a broken server ever gets near them.
constexpr int kStartLimitMs = 20000;
constexpr int kReplyLimitMs = 20000;

// zendal-pedal-sim started for one test; killed when the test ends.
class SimProcess {
  public:
    explicit SimProcess(const QStringList& args) {
        process_.start(QStringLiteral(ZENDAL_PEDAL_SIM), args);
        if (!process_.waitForStarted(kStartLimitMs)) return;
        QDeadlineTimer deadline(kStartLimitMs);
        while (!process_.canReadLine() && !deadline.hasExpired() &&
               process_.state() == QProcess::Running)
            process_.waitForReadyRead(100);
        if (process_.canReadLine()) path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~SimProcess() {
        if (fd_ >= 0) ::close(fd_);
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(kStartLimitMs);
        }
    }
    QString path() const { return path_; }
    void setPath(const QString& path) { path_ = path; }
    // The next line the server prints (a new path after a replug).
    QString nextLine() {
        QDeadlineTimer deadline(kStartLimitMs);
        while (!process_.canReadLine() && !deadline.hasExpired() &&
               process_.state() == QProcess::Running)
            process_.waitForReadyRead(100);
        return QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    void command(const char* line) {
        process_.write(line);
        process_.write("\n");
        process_.waitForBytesWritten(kStartLimitMs);
    }
    void closePort() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // Waits until the port hangs up: poll says so and a read fails or ends.
    bool hungUp() {
        QDeadlineTimer deadline(kReplyLimitMs);
        while (!deadline.hasExpired()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            if (!(p.revents & (POLLHUP | POLLERR))) {
                char c;
                [[maybe_unused]] ssize_t n = ::read(fd_, &c, 1);
                continue;
            }
            char c;
            const ssize_t n = ::read(fd_, &c, 1);
            return n == 0 || (n < 0 && errno == EIO);
        }
        return false;
    }
    QProcess& process() { return process_; }

    // Opens the slave side like a serial port: 115200 baud, raw.
    bool openPort() {
        fd_ = ::open(path_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return false;
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
    }
    void send(const QByteArray& bytes) {
        int done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, bytes.size() - done);
            if (n > 0) {
                done += int(n);
            } else {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }
    // Reads until `done` says the reply is whole, or the limit passes.
    QByteArray readUntil(const std::function<bool(const QByteArray&)>& done) {
        QByteArray got;
        QDeadlineTimer deadline(kReplyLimitMs);
        char buffer[4096];
        while (!done(got) && !deadline.hasExpired()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, int(n));
        }
        return got;
    }
    QByteArray readWithin(int ms) {
        QDeadlineTimer deadline(ms);
        return readUntil([&deadline](const QByteArray&) { return deadline.hasExpired(); });
    }
    QByteArray readLines(int lines) {
        return readUntil([lines](const QByteArray& b) { return b.count("\r\n") >= lines; });
    }
    QByteArray readBytes(int count) {
        return readUntil([count](const QByteArray& b) { return b.size() >= count; });
    }

  private:
    QProcess process_;
    QString path_;
    int fd_ = -1;
};

}  // namespace

TEST(PedalSimServer, AnswersDeviceInformationOverThePseudoTerminal) {
    struct Case {
        QStringList args;
        QByteArray reply;
    };
    const Case cases[] = {
        {{}, "1\r\n38\r\n1\r\n5\r\n"},
        {{"--effect", "0x11", "--firmware", "7"}, "1\r\n17\r\n1\r\n7\r\n"},
        {{"--effect", "0"}, "255\r\n255\r\n1\r\n5\r\n"},
        {{"--wire-time"}, "1\r\n38\r\n1\r\n5\r\n"},
        {{"--lenient"}, "1\r\n38\r\n1\r\n5\r\n"},
        {{"--latency", "2"}, "1\r\n38\r\n1\r\n5\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        SimProcess sim(c.args);
        ASSERT_TRUE(sim.path().startsWith("/dev/pts/")) << sim.path().toStdString();
        ASSERT_TRUE(sim.openPort());
        sim.send(hex("06 00"));
        EXPECT_EQ(sim.readLines(4), c.reply);
    }
}

TEST(PedalSimServer, ReadsTheHostsBytesInAnyFragmentation) {
    SimProcess sim({});
    ASSERT_TRUE(sim.openPort());
    const QByteArray image = makeImage(0x00, 0x11, 2, 5000);
    for (int i = 0; i < image.size(); i += 700) sim.send(image.mid(i, 700));
    EXPECT_EQ(sim.readBytes(15), QByteArray("Upload complete"));
    sim.send(hex("02"));
    sim.send(hex("0C"));
    EXPECT_EQ(sim.readLines(4 * 12 + 41).count("\r\n"), 4 * 12 + 41);
    sim.send(hex("0C 50 00 00") + hex("00 00"));
    const QByteArray dump = sim.readBytes(16385);
    ASSERT_EQ(dump.size(), 16385);
    EXPECT_EQ(quint8(dump[0]), 0xAB);
}

TEST(PedalSimServer, LinkFollowsThePortAndGoesWhenTheServerStops) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("pedal");
    {
        SimProcess sim({"--link", link});
        ASSERT_FALSE(sim.path().isEmpty());
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.path());
        sim.process().terminate();  // SIGTERM
        ASSERT_TRUE(sim.process().waitForFinished(kStartLimitMs));
        EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.process().exitCode(), 0);
        EXPECT_FALSE(QFileInfo::exists(link));
    }
    SimProcess sim({"--exit-on-stdin-eof"});
    ASSERT_FALSE(sim.path().isEmpty());
    sim.process().closeWriteChannel();
    ASSERT_TRUE(sim.process().waitForFinished(kStartLimitMs));
    EXPECT_EQ(sim.process().exitCode(), 0);
}

TEST(PedalSimServer, UnplugHangsThePortUpAndReplugOffersANewOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("pedal");
    SimProcess sim({"--commands", "--link", link});
    ASSERT_TRUE(sim.openPort());
    sim.send(hex("06 00"));
    EXPECT_EQ(sim.readLines(4), QByteArray("1\r\n38\r\n1\r\n5\r\n"));

    sim.command("unplug");
    EXPECT_TRUE(sim.hungUp());
    sim.closePort();
    sim.command("replug");
    const QString again = sim.nextLine();
    ASSERT_TRUE(again.startsWith("/dev/pts/")) << again.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), again);
    sim.setPath(again);
    ASSERT_TRUE(sim.openPort());
    sim.send(hex("06 00"));
    EXPECT_EQ(sim.readLines(4), QByteArray("1\r\n38\r\n1\r\n5\r\n"));
}

TEST(PedalSimServer, CommandsTurnKnobsAndSwitchBanks) {
    SimProcess sim({"--commands"});
    ASSERT_TRUE(sim.openPort());
    sim.command("knob 2 5 1023");
    EXPECT_EQ(sim.readBytes(5), hex("AA 02 05 03 FF"));
    sim.command("bank 1");
    sim.command("effect 0x1A");
    EXPECT_EQ(sim.readBytes(5), QByteArray("0111A"));
    sim.command("bogus");
    sim.command("knob 2 5 1023");
    EXPECT_EQ(sim.readBytes(5), hex("AA 02 05 03 FF"));  // it carries on
    sim.process().closeWriteChannel();                   // the end of the commands ends it
    ASSERT_TRUE(sim.process().waitForFinished(kStartLimitMs));
    EXPECT_EQ(sim.process().exitCode(), 0);
    EXPECT_TRUE(sim.process().readAllStandardError().contains("unknown command bogus"));
}

TEST(PedalSimServer, EnteringTheBootloaderNeedsSaveHeld) {
    struct Case {
        QStringList args;
        QList<const char*> commands;
        QByteArray answerTo7F;
    };
    const Case cases[] = {
        {{"--commands"}, {}, QByteArray()},
        {{"--commands", "--save-held"}, {}, hex("79")},
        {{"--commands"}, {"save on"}, hex("79")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        SimProcess sim(c.args);
        ASSERT_TRUE(sim.openPort());
        for (const char* command : c.commands) sim.command(command);
        sim.send(hex("05 00 01 02 03 04 05 06"));
        if (c.answerTo7F.isEmpty()) {
            // The firmware ignores 7F; it still answers its own messages.
            sim.send(hex("7F") + hex("06 00"));
            EXPECT_EQ(sim.readLines(4), QByteArray("1\r\n38\r\n1\r\n5\r\n"));
        } else {
            // A byte that comes while the part resets is lost: try again.
            QByteArray got;
            for (int i = 0; i < 40 && got.isEmpty(); ++i) {
                sim.send(hex("7F"));
                got = sim.readWithin(250);
            }
            EXPECT_EQ(got.left(1), c.answerTo7F);
        }
    }
}

TEST(PedalSimServer, HelpSaysTheTimingIsStrictAndHowToSwitchItOff) {
    QProcess p;
    p.start(QStringLiteral(ZENDAL_PEDAL_SIM), {"--help"});
    ASSERT_TRUE(p.waitForFinished(kStartLimitMs));
    EXPECT_EQ(p.exitCode(), 0);
    const QByteArray help = p.readAllStandardOutput();
    for (const char* word : {"strict", "--lenient", "--latency", "B2", "--commands", "unplug"})
        EXPECT_TRUE(help.contains(word)) << word;
}

TEST(PedalSimServer, RefusesBadArguments) {
    for (const QStringList& args :
         {QStringList{"--bogus"}, QStringList{"--effect", "64"}, QStringList{"--firmware", "x"},
          QStringList{"--link"}, QStringList{"--latency", "0"}}) {
        QProcess p;
        p.start(QStringLiteral(ZENDAL_PEDAL_SIM), args);
        ASSERT_TRUE(p.waitForFinished(kStartLimitMs)) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    }
}

// The bootloader model must satisfy a real bootloader client, not only ours.
TEST(PedalSimServer, Stm32flashWritesVerifiesAndStartsTheImage) {
    const QString stm32flash = QStandardPaths::findExecutable("stm32flash");
    if (stm32flash.isEmpty()) GTEST_SKIP() << "stm32flash is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString imagePath = dir.filePath("firmware.bin");
    {
        QFile f(imagePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // 41 pages of program, the last one partly used, with the vector table
        // and the variant record the part needs before it starts an image.
        QByteArray image = firmwareImage(41712, 9);
        image.replace(0, 8, hex("00 50 00 20 01 01 00 08"));
        image += QByteArray(0x1FC00 - image.size(), char(0xFF));
        image += hex("00 00 00 00 00 00 00 09");
        f.write(image);
    }
    // A kernel serial driver in low-latency mode: the USB chip's timer at 1 ms.
    SimProcess sim({"--bootloader", "--latency", "1"});
    ASSERT_FALSE(sim.path().isEmpty());

    QProcess flash;
    flash.setProcessChannelMode(QProcess::MergedChannels);
    flash.start(stm32flash, {"-m", "8n1", "-b", "115200", "-w", imagePath, "-v", "-g", "0x08000000",
                             sim.path()});
    ASSERT_TRUE(flash.waitForFinished(120000));
    const QByteArray log = flash.readAll();
    ASSERT_EQ(flash.exitCode(), 0) << log.toStdString();
    EXPECT_TRUE(log.contains("Device ID    : 0x0410")) << log.toStdString();

    // Back in the firmware, which reports the version the image carries.
    ASSERT_TRUE(sim.openPort());
    sim.send(hex("06 00"));
    EXPECT_EQ(sim.readLines(4), QByteArray("1\r\n38\r\n1\r\n9\r\n"));
}
