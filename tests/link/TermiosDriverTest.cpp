// The kernel serial-port backend: listing from a sysfs tree built in a
// temporary folder, and real I/O over a pseudo-terminal pair opened here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/DeviceHub.h"
#include "link/FrameCodec.h"
#include "link/TermiosDriver.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"

using namespace zendal;

namespace {

// --- listing ---

class FakeSysfs {
  public:
    FakeSysfs() { QDir(dir_.path()).mkpath(QStringLiteral("class/tty")); }
    QString ttyRoot() const { return dir_.path() + QStringLiteral("/class/tty"); }

    // A USB serial port the way the kernel lays it out: the class entry links
    // to the port's folder, whose `device` link points at the USB interface
    // (ttyACM) or at the usb-serial port below it (ttyUSB).
    void addPort(const QString& name, const QString& usbDevice, const QByteArray& vendor,
                 const QByteArray& serial, const QByteArray& product, int interface = 0) {
        const QString root = dir_.path();
        const QString usb = root + QStringLiteral("/devices/usb1/") + usbDevice;
        const QString iface = usb + QStringLiteral("/%1:1.%2").arg(usbDevice).arg(interface);
        const bool acm = name.startsWith(QLatin1String("ttyACM"));
        const QString deviceTarget = acm ? iface : iface + QLatin1Char('/') + name;
        const QString classTarget = deviceTarget + QStringLiteral("/tty/") + name;
        QDir().mkpath(classTarget);
        write(usb + QStringLiteral("/idVendor"), vendor);
        write(usb + QStringLiteral("/idProduct"), "6015");
        if (!serial.isEmpty()) write(usb + QStringLiteral("/serial"), serial + "\n");
        if (!product.isEmpty()) write(usb + QStringLiteral("/product"), product + "\n");
        QFile::link(deviceTarget, classTarget + QStringLiteral("/device"));
        QFile::link(classTarget, ttyRoot() + QLatin1Char('/') + name);
    }

  private:
    static void write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QTemporaryDir dir_;
};

QStringList describe(const QVector<TermiosDriver::Port>& ports) {
    QStringList out;
    for (const auto& p : ports) {
        out.append(QString::fromLatin1(p.serial + '|' + p.description + '|') + p.path);
    }
    return out;
}

TEST(TermiosListing, ListsFtdiPortsInNumericOrderWithSerialAndProduct) {
    FakeSysfs sys;
    sys.addPort(QStringLiteral("ttyUSB10"), QStringLiteral("1-4"), "0403", "FTZ10",
                "FT230X Basic UART");
    sys.addPort(QStringLiteral("ttyUSB2"), QStringLiteral("1-1"), "0403", "FTZ02",
                "FT230X Basic UART");
    sys.addPort(QStringLiteral("ttyUSB1"), QStringLiteral("1-2"), "10c4", "CP01", "CP2102");
    sys.addPort(QStringLiteral("ttyACM0"), QStringLiteral("1-3"), "0403", {}, {});
    TermiosDriver::Options options;
    options.sysfsTtyRoot = sys.ttyRoot();
    TermiosDriver driver(options);
    EXPECT_EQ(describe(driver.scan()), (QStringList{
                                           "/dev/ttyACM0|Serial port|/dev/ttyACM0",
                                           "FTZ02|FT230X Basic UART|/dev/ttyUSB2",
                                           "FTZ10|FT230X Basic UART|/dev/ttyUSB10",
                                       }));
}

TEST(TermiosListing, PortsOfOneChipGetALetterEach) {
    FakeSysfs sys;
    sys.addPort(QStringLiteral("ttyUSB0"), QStringLiteral("1-1"), "0403", "FTDUAL", "Dual RS232",
                0);
    sys.addPort(QStringLiteral("ttyUSB1"), QStringLiteral("1-1"), "0403", "FTDUAL", "Dual RS232",
                1);
    TermiosDriver::Options options;
    options.sysfsTtyRoot = sys.ttyRoot();
    TermiosDriver driver(options);
    EXPECT_EQ(describe(driver.scan()),
              (QStringList{"FTDUALA|Dual RS232|/dev/ttyUSB0", "FTDUALB|Dual RS232|/dev/ttyUSB1"}));
}

TEST(TermiosListing, MissingSysfsListsOnlyExtraPortsThatExist) {
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile(plain).open(QIODevice::WriteOnly);
    TermiosDriver::Options options;
    options.sysfsTtyRoot = dir.filePath(QStringLiteral("no-such-folder"));
    options.extraPorts = {plain, dir.filePath(QStringLiteral("gone"))};
    TermiosDriver driver(options);
    EXPECT_EQ(describe(driver.scan()), QStringList{plain + "|Serial port|" + plain});
}

TEST(TermiosListing, ExtraPortsComeFromTheEnvironment) {
    qputenv("ZENDAL_EXTRA_PORTS", "/dev/pts/7::/tmp/x");
    EXPECT_EQ(TermiosDriver::extraPortsFromEnvironment(), (QStringList{"/dev/pts/7", "/tmp/x"}));
    qunsetenv("ZENDAL_EXTRA_PORTS");
    EXPECT_TRUE(TermiosDriver::extraPortsFromEnvironment().isEmpty());
}

// --- I/O over a pseudo-terminal ---

class PtyPair : public ::testing::Test {
  protected:
    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        slavePath = QString::fromLocal8Bit(::ptsname(master));
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
        TermiosDriver::Options options;
        options.scanSystemPorts = false;
        options.extraPorts = {slavePath};
        driver = std::make_unique<TermiosDriver>(options);
    }
    void TearDown() override {
        driver.reset();
        if (master >= 0) ::close(master);
    }
    PortHandle open() {
        const Opened opened = driver->open(slavePath.toLocal8Bit());
        EXPECT_EQ(opened.status, PortStatus::Ok) << driver->lastError().toStdString();
        return opened.handle;
    }
    static std::span<const std::uint8_t> bytes(const QByteArray& data) {
        return {reinterpret_cast<const std::uint8_t*>(data.constData()),
                static_cast<std::size_t>(data.size())};
    }
    // What the host side wrote, read from the master within a generous limit.
    QByteArray masterRead(int expected) {
        QByteArray got;
        while (got.size() < expected) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) break;
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<int>(n));
        }
        return got;
    }
    // Waits until the host side sees `n` bytes queued.
    std::size_t queuedAtLeast(PortHandle h, std::size_t n) {
        std::size_t queued = 0;
        for (int i = 0; i < 500 && queued < n; ++i) {
            pollfd p{driver->readyFd(h), POLLIN, 0};
            ::poll(&p, 1, 10);
            const Transferred q = driver->queued(h);
            EXPECT_EQ(q.status, PortStatus::Ok);
            queued = q.count;
        }
        return queued;
    }

    int master = -1;
    QString slavePath;
    std::unique_ptr<TermiosDriver> driver;
};

TEST_F(PtyPair, ListsThePseudoTerminalAsTheVirtualPedal) {
    DeviceListing listing = driver->listDevices();
    ASSERT_EQ(listing.status, PortStatus::Ok);
    ASSERT_EQ(listing.devices.size(), 1u);
    const DeviceEntry& entry = listing.devices[0];
    EXPECT_EQ(QString::fromLocal8Bit(entry.serial), slavePath);
    EXPECT_EQ(entry.description, QByteArray("Virtual Pedal (pty)"));
    EXPECT_EQ(entry.path, slavePath);
    EXPECT_EQ(entry.kind, DeviceKind::PseudoTerminal);
    EXPECT_TRUE(entry.openable) << entry.whyNot.toStdString();
    EXPECT_TRUE(TermiosDriver::isPseudoTerminal(slavePath));
    // Open here: listed, but not to be opened a second time.
    open();
    listing = driver->listDevices();
    ASSERT_EQ(listing.devices.size(), 1u);
    EXPECT_FALSE(listing.devices[0].openable);
    EXPECT_EQ(listing.devices[0].whyNot, slavePath + QStringLiteral(" is open in this program."));
}

TEST_F(PtyPair, BytesTravelBothWaysUnchanged) {
    const PortHandle h = open();
    EXPECT_EQ(driver->kind(h), DeviceKind::PseudoTerminal);
    EXPECT_GE(driver->readyFd(h), 0);
    ASSERT_EQ(driver->setBaudRate(h, 115200), PortStatus::Ok);
    ASSERT_EQ(driver->setFraming(h, Framing{8, 0, 0}), PortStatus::Ok);

    // Raw mode: CR, LF, 0x03 and 0xFF pass as they are, no echo.
    const QByteArray out = QByteArray::fromHex("0600") + "\r\n\x03\xff";
    const Transferred written = driver->write(h, bytes(out));
    ASSERT_EQ(written.status, PortStatus::Ok);
    EXPECT_EQ(written.count, std::size_t(out.size()));
    EXPECT_EQ(masterRead(static_cast<int>(out.size())), out);

    const QByteArray in("3\r\n17\r\n2\r\n5\r\n\xAA\x00", 15);
    ASSERT_EQ(::write(master, in.constData(), static_cast<size_t>(in.size())), in.size());
    ASSERT_EQ(queuedAtLeast(h, 15), 15u);
    std::uint8_t buffer[64] = {};
    Transferred got = driver->read(h, std::span(buffer).first(15));
    ASSERT_EQ(got.status, PortStatus::Ok);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), int(got.count)), in);

    // Nothing waiting: a read returns at once with nothing.
    got = driver->read(h, std::span(buffer).first(10));
    EXPECT_EQ(got.status, PortStatus::Ok);
    EXPECT_EQ(got.count, 0u);
    const Transferred queued = driver->queued(h);
    EXPECT_EQ(queued.status, PortStatus::Ok);
    EXPECT_EQ(queued.count, 0u);
}

TEST_F(PtyPair, WriteLargerThanTheKernelBufferArrivesWhole) {
    const PortHandle h = open();
    QByteArray image(20000, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    // The reader drains while the writer waits for room.
    QByteArray got;
    std::thread reader([&] { got = masterRead(static_cast<int>(image.size())); });
    const Transferred written = driver->write(h, bytes(image));
    EXPECT_EQ(written.status, PortStatus::Ok);
    reader.join();
    EXPECT_EQ(written.count, std::size_t(image.size()));
    EXPECT_EQ(got, image);
}

TEST_F(PtyPair, PurgeReceiveDropsWaitingBytes) {
    const PortHandle h = open();
    ASSERT_EQ(::write(master, "stale", 5), 5);
    ASSERT_EQ(queuedAtLeast(h, 5), 5u);
    EXPECT_EQ(driver->purge(h, PurgeQueue::Receive), PortStatus::Ok);
    EXPECT_EQ(driver->queued(h).count, 0u);
    EXPECT_EQ(driver->purge(h, PurgeQueue::Transmit), PortStatus::Ok);
    EXPECT_EQ(driver->purge(h, PurgeQueue::Both), PortStatus::Ok);
}

TEST_F(PtyPair, LineSettings) {
    const PortHandle h = open();
    constexpr PortStatus ok = PortStatus::Ok, badBaud = PortStatus::InvalidBaudRate,
                         bad = PortStatus::InvalidParameter;
    struct Case {
        std::uint32_t baud;
        PortStatus status;
    };
    for (const Case& c : {Case{115200, ok}, Case{9600, ok}, Case{921600, ok}, Case{12345, badBaud},
                          Case{0, badBaud}}) {
        EXPECT_EQ(driver->setBaudRate(h, c.baud), c.status) << c.baud;
    }
    struct Chars {
        std::uint8_t word, stop, parity;
        PortStatus status;
    };
    for (const Chars& c : {Chars{8, 0, 0, ok}, Chars{8, 0, 2, ok},  // even: the bootloader
                           Chars{8, 2, 1, ok}, Chars{7, 0, 0, ok}, Chars{9, 0, 0, bad},
                           Chars{8, 1, 0, bad}, Chars{8, 0, 5, bad}}) {
        EXPECT_EQ(driver->setFraming(h, Framing{c.word, c.stop, c.parity}), c.status)
            << int(c.word) << int(c.stop) << int(c.parity);
    }
    // A pseudo-terminal has no USB latency timer; harmless.
    EXPECT_EQ(driver->setLatencyTimer(h, 1), PortStatus::NotSupported);
    std::uint8_t ms = 0;
    EXPECT_EQ(driver->latencyTimer(h, ms), PortStatus::NotSupported);
}

TEST_F(PtyPair, OtherSideGoneReadsAsUnpluggedEverywhere) {
    const PortHandle h = open();
    ::close(master);
    master = -1;
    EXPECT_EQ(driver->queued(h).status, PortStatus::Unplugged);
    EXPECT_FALSE(driver->lastError().isEmpty());
    std::uint8_t buffer[8];
    EXPECT_EQ(driver->read(h, buffer).status, PortStatus::Unplugged);
    const QByteArray request = QByteArray::fromHex("0600");
    EXPECT_EQ(driver->write(h, bytes(request)).status, PortStatus::Unplugged);
    // Closing still lets go of it.
    EXPECT_EQ(driver->close(h), PortStatus::Ok);
}

TEST_F(PtyPair, ClosedAndUnknownHandlesAreInvalid) {
    const PortHandle h = open();
    EXPECT_TRUE(h);
    EXPECT_EQ(driver->close(h), PortStatus::Ok);
    EXPECT_EQ(driver->write(h, bytes("x")).status, PortStatus::InvalidHandle);
    EXPECT_EQ(driver->queued(h).status, PortStatus::InvalidHandle);
    EXPECT_EQ(driver->close(h), PortStatus::InvalidHandle);
    EXPECT_EQ(driver->readyFd(h), -1);
    EXPECT_EQ(driver->kind(h), DeviceKind::None);
    // Closing let go of the port: it opens again.
    EXPECT_NE(open(), h);
}

TEST_F(PtyPair, SecondOpenInThisProgramIsRefused) {
    open();
    EXPECT_EQ(driver->open(slavePath.toLocal8Bit()).status, PortStatus::DeviceNotOpened);
    EXPECT_EQ(driver->lastError(),
              QStringLiteral("Cannot open %1: it is already open in this program.").arg(slavePath));
}

TEST_F(PtyPair, PortLockedByAnotherProgramIsRefused) {
    const int other = ::open(slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(driver->open(slavePath.toLocal8Bit()).status, PortStatus::DeviceNotOpened);
    EXPECT_EQ(driver->lastError(),
              QStringLiteral("Cannot open %1: it is in use by another program.").arg(slavePath));
    ::close(other);
    EXPECT_TRUE(open());
}

TEST(TermiosOpen, RefusalsExplainTheCause) {
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked"));
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile(locked).open(QIODevice::WriteOnly);
    QFile(plain).open(QIODevice::WriteOnly);
    QFile::setPermissions(locked, QFileDevice::Permissions{});
    TermiosDriver::Options options;
    options.scanSystemPorts = false;
    options.extraPorts = {locked, plain};
    TermiosDriver driver(options);

    struct Case {
        QString serial;
        PortStatus status;
        QString error;
    };
    QVector<Case> cases = {
        {plain, PortStatus::DeviceNotOpened,
         QStringLiteral("Cannot open %1: it is not a serial port.").arg(plain)},
        {QStringLiteral("FT-NONE"), PortStatus::DeviceNotFound,
         QStringLiteral("No serial port with serial number FT-NONE is attached.")},
    };
    if (::geteuid() != 0) {  // root opens anything
        cases.append({locked, PortStatus::DeviceNotOpened,
                      QStringLiteral("Permission denied opening %1: add yourself to the 'dialout' "
                                     "group (sudo usermod -aG dialout $USER, then log in again) or "
                                     "install the udev rule from the README.")
                          .arg(locked)});
    }
    for (const Case& c : cases) {
        EXPECT_EQ(driver.open(c.serial.toLocal8Bit()).status, c.status) << c.serial.toStdString();
        EXPECT_EQ(driver.lastError(), c.error);
    }
    if (::geteuid() != 0) {
        // The listing says so before anyone tries.
        const DeviceListing listing = driver.listDevices();
        ASSERT_EQ(listing.devices.size(), 2u);
        EXPECT_FALSE(listing.devices[0].openable);
        EXPECT_EQ(listing.devices[0].whyNot, cases.last().error);
        EXPECT_TRUE(listing.devices[1].openable);
    }
}

// --- the whole link over zendal-pedal-sim, with the real clock ---

class PedalSimulator : public ::testing::Test {
  protected:
    // Starts the simulator and links to it through the port module.
    void link(const QStringList& simArgs) {
        connection.makeProcessPort();
        sim.start(QStringLiteral(ZENDAL_PEDAL_SIM_PATH),
                  simArgs + QStringList{"--exit-on-stdin-eof"});
        ASSERT_TRUE(sim.waitForStarted(30000));
        while (!sim.canReadLine() && sim.waitForReadyRead(30000)) {
        }
        const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
        ASSERT_FALSE(path.isEmpty());
        TermiosDriver::Options options;
        options.scanSystemPorts = false;
        options.extraPorts = {path};
        driver = std::make_unique<TermiosDriver>(options);
        d2xx().setDriver(driver.get());
        d2xx().setErrorSink([](const QString&) {});
        communication::SetPortParameters(FT_PARITY_NONE);
        ASSERT_TRUE(communication::OpenAndConfigure(path)) << driver->lastError().toStdString();
        EXPECT_EQ(d2xx().openDeviceKind(), DeviceKind::PseudoTerminal);
    }
    void TearDown() override {
        d2xx().CloseFTDevice();
        d2xx().setDriver(nullptr);
        d2xx().setErrorSink({});
        driver.reset();
        sim.closeWriteChannel();
        if (!sim.waitForFinished(30000)) sim.kill();
    }
    QProcess sim;
    std::unique_ptr<TermiosDriver> driver;
    PedalConnection connection;
};

TEST_F(PedalSimulator, DeviceInformationRoundTrip) {
    link({"--effect", "0x10", "--firmware", "7"});
    const PedalInfoReply reply = queryPedalInfo(connection);
    ASSERT_TRUE(reply.ok());
    const PedalInfo info = parsePedalInfo(reply.reply);
    EXPECT_FALSE(info.empty);
    EXPECT_EQ(info.effect, 0x10);
    EXPECT_EQ(info.firmware, 7);
}

TEST_F(PedalSimulator, BootloaderAcknowledgesTheProbe) {
    link({"--bootloader"});
    EXPECT_EQ(communication::ProbeBootloader(), QStringLiteral("79"));
}

// A settings reply of 16 parameters is 105 numbers, about 330 bytes: six USB
// transfers, the last one on the pedal's 16 ms latency timer (a pseudo-terminal
// cannot take the host's low-latency setting).
TEST_F(PedalSimulator, ASettingsReplyInLatePiecesIsReadWhole) {
    link({});
    ASSERT_TRUE(SendHexMessage(QStringLiteral("0210"), 2, true));
    const SettingsReply reply = ReceiveSettingsReply(3000);
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.fields, 4 * 16 + 41);
    EXPECT_EQ(ReceiveArray().size(), 4 * 16 + 41);
}

TEST_F(PedalSimulator, UnplugHangsUpTheLineAndReplugLinksAgain) {
    link({"--commands"});
    sim.write("unplug\n");
    // The wait for an answer ends with a port error instead of running out.
    ASSERT_TRUE(SendHexMessage(QStringLiteral("0600"), 2, false));
    EXPECT_EQ(ReceiveText(60000).outcome, WaitOutcome::PortError);
    EXPECT_EQ(driver->queued(d2xx().handle()).status, PortStatus::Unplugged);
    std::uint8_t buffer[16];
    EXPECT_EQ(driver->read(d2xx().handle(), buffer).status, PortStatus::Unplugged);
    EXPECT_TRUE(d2xx().deviceGone());
    d2xx().CloseFTDevice();

    // Plugged back in, on a new port: linking again works.
    sim.write("replug\n");
    while (!sim.canReadLine() && sim.waitForReadyRead(30000)) {
    }
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    ASSERT_TRUE(path.startsWith("/dev/pts/")) << path.toStdString();
    TermiosDriver::Options options;
    options.scanSystemPorts = false;
    options.extraPorts = {path};
    driver = std::make_unique<TermiosDriver>(options);
    d2xx().setDriver(driver.get());
    ASSERT_TRUE(communication::OpenAndConfigure(path)) << driver->lastError().toStdString();
    const PedalInfoReply info = queryPedalInfo(connection);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(parsePedalInfo(info.reply).effect, 0x26);
}

// The simulator's link follows the pedal to its new pseudo-terminal; the hub
// watching the link's folder tells the change, and the same name links again.
TEST_F(PedalSimulator, ReplugThroughALinkIsToldAndLinksAgainByTheSameName) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString linkPath = folder.filePath(QStringLiteral("zendal-pedal"));
    sim.start(QStringLiteral(ZENDAL_PEDAL_SIM_PATH),
              {"--link", linkPath, "--commands", "--exit-on-stdin-eof"});
    ASSERT_TRUE(sim.waitForStarted(30000));
    while (!sim.canReadLine() && sim.waitForReadyRead(30000)) {
    }
    sim.readLine();
    TermiosDriver::Options options;
    options.scanSystemPorts = false;
    options.extraPorts = {linkPath};
    driver = std::make_unique<TermiosDriver>(options);
    DeviceHub hub;
    hub.addBackend(driver.get(), QStringLiteral("serial"));
    ASSERT_TRUE(hub.watchKernelDevices({folder.path()}));
    int changes = 0;
    QObject::connect(&hub, &DeviceHub::devicesChanged, [&changes] { ++changes; });
    connection.makeProcessPort();
    d2xx().setDriver(&hub);
    struct LetGo {
        ~LetGo() {
            d2xx().CloseFTDevice();
            d2xx().setDriver(nullptr);
        }
    } letGo;  // before the hub goes
    d2xx().setErrorSink([](const QString&) {});
    communication::SetPortParameters(FT_PARITY_NONE);
    ASSERT_TRUE(communication::OpenAndConfigure(linkPath)) << hub.lastError().toStdString();

    sim.write("unplug\n");
    sim.write("replug\n");
    auto waitFor = [](const std::function<bool()>& done) {
        QElapsedTimer elapsed;
        elapsed.start();
        for (;;) {
            if (done()) return true;
            if (elapsed.elapsed() > 20000) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    };
    ASSERT_TRUE(waitFor([&changes] { return changes > 0; }));
    // The old handle hung up with the old pseudo-terminal.
    ASSERT_TRUE(waitFor([] { return d2xx().GetFTQueueStatus() != FT_OK; }));
    EXPECT_TRUE(d2xx().deviceGone());
    d2xx().CloseFTDevice();
    ASSERT_TRUE(waitFor([&] { return communication::OpenAndConfigure(linkPath); }))
        << hub.lastError().toStdString();
    const PedalInfoReply info = queryPedalInfo(connection);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(parsePedalInfo(info.reply).effect, 0x26);
}

TEST_F(PedalSimulator, SimulatorGoneEndsAWaitWithAPortError) {
    link({});
    sim.kill();
    sim.waitForFinished(30000);
    EXPECT_EQ(ReceiveText(60000).outcome, WaitOutcome::PortError);
}

}  // namespace
