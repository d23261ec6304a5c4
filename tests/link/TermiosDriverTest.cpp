// The kernel serial-port backend: listing from a sysfs tree built in a
// temporary folder, and real I/O over a pseudo-terminal pair opened here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <thread>

#include "core/EditorState.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
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
    FT_HANDLE open() {
        std::uint32_t count = 0;
        EXPECT_EQ(driver->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        FT_HANDLE h = 0;
        EXPECT_EQ(driver->OpenEx(slavePath.toLocal8Bit().constData(), FT_OPEN_BY_SERIAL_NUMBER, &h),
                  FT_OK)
            << driver->lastError().toStdString();
        return h;
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
    std::uint32_t queuedAtLeast(FT_HANDLE h, std::uint32_t n) {
        std::uint32_t queued = 0;
        for (int i = 0; i < 500 && queued < n; ++i) {
            pollfd p{driver->ReadyFd(h), POLLIN, 0};
            ::poll(&p, 1, 10);
            EXPECT_EQ(driver->GetQueueStatus(h, &queued), FT_OK);
        }
        return queued;
    }

    int master = -1;
    QString slavePath;
    std::unique_ptr<TermiosDriver> driver;
};

TEST_F(PtyPair, ListsThePseudoTerminalAsTheVirtualPedal) {
    std::uint32_t count = 0;
    ASSERT_EQ(driver->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    ASSERT_EQ(count, 1u);
    char text[64];
    ASSERT_EQ(driver->ListDevices(nullptr, text, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_OK);
    EXPECT_EQ(QString::fromLocal8Bit(text), slavePath);
    ASSERT_EQ(driver->ListDevices(nullptr, text, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_STREQ(text, "Virtual Pedal (pty)");
    EXPECT_EQ(driver->devicePath(0), slavePath);
    EXPECT_EQ(driver->ListDevices(reinterpret_cast<void*>(1), text,
                                  FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(TermiosDriver::isPseudoTerminal(slavePath));
}

TEST_F(PtyPair, BytesTravelBothWaysUnchanged) {
    const FT_HANDLE h = open();
    EXPECT_EQ(driver->Kind(h), DeviceKind::PseudoTerminal);
    EXPECT_GE(driver->ReadyFd(h), 0);
    ASSERT_EQ(driver->SetBaudRate(h, 115200), FT_OK);
    ASSERT_EQ(driver->SetDataCharacteristics(h, 8, 0, 0), FT_OK);

    // Raw mode: CR, LF, 0x03 and 0xFF pass as they are, no echo.
    const QByteArray out = QByteArray::fromHex("0600") + "\r\n\x03\xff";
    std::uint32_t written = 0;
    ASSERT_EQ(driver->Write(h, out.constData(), static_cast<std::uint32_t>(out.size()), &written),
              FT_OK);
    EXPECT_EQ(written, static_cast<std::uint32_t>(out.size()));
    EXPECT_EQ(masterRead(static_cast<int>(out.size())), out);

    const QByteArray in("3\r\n17\r\n2\r\n5\r\n\xAA\x00", 15);
    ASSERT_EQ(::write(master, in.constData(), static_cast<size_t>(in.size())), in.size());
    ASSERT_EQ(queuedAtLeast(h, 15), 15u);
    char buffer[64] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(driver->Read(h, buffer, 15, &got), FT_OK);
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(got)), in);

    // Nothing waiting: a read returns at once with nothing.
    EXPECT_EQ(driver->Read(h, buffer, 10, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    std::uint32_t queued = 99;
    EXPECT_EQ(driver->GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);
}

TEST_F(PtyPair, WriteLargerThanTheKernelBufferArrivesWhole) {
    const FT_HANDLE h = open();
    QByteArray image(20000, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    // The reader drains while the writer waits for room.
    QByteArray got;
    std::thread reader([&] { got = masterRead(static_cast<int>(image.size())); });
    std::uint32_t written = 0;
    EXPECT_EQ(
        driver->Write(h, image.constData(), static_cast<std::uint32_t>(image.size()), &written),
        FT_OK);
    reader.join();
    EXPECT_EQ(written, static_cast<std::uint32_t>(image.size()));
    EXPECT_EQ(got, image);
}

TEST_F(PtyPair, PurgeReceiveDropsWaitingBytes) {
    const FT_HANDLE h = open();
    ASSERT_EQ(::write(master, "stale", 5), 5);
    ASSERT_EQ(queuedAtLeast(h, 5), 5u);
    EXPECT_EQ(driver->Purge(h, FT_PURGE_RX), FT_OK);
    std::uint32_t queued = 99;
    EXPECT_EQ(driver->GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);
    EXPECT_EQ(driver->Purge(h, FT_PURGE_TX), FT_OK);
    EXPECT_EQ(driver->Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    EXPECT_EQ(driver->Purge(h, 0), FT_INVALID_PARAMETER);
}

TEST_F(PtyPair, LineSettings) {
    const FT_HANDLE h = open();
    struct Case {
        std::uint32_t baud;
        FT_STATUS status;
    };
    for (const Case& c : {Case{115200, FT_OK}, Case{9600, FT_OK}, Case{921600, FT_OK},
                          Case{12345, FT_INVALID_BAUD_RATE}, Case{0, FT_INVALID_BAUD_RATE}}) {
        EXPECT_EQ(driver->SetBaudRate(h, c.baud), c.status) << c.baud;
    }
    struct Chars {
        std::uint8_t word, stop, parity;
        FT_STATUS status;
    };
    for (const Chars& c :
         {Chars{8, 0, 0, FT_OK}, Chars{8, 0, 2, FT_OK},  // even: the bootloader
          Chars{8, 2, 1, FT_OK}, Chars{7, 0, 0, FT_OK}, Chars{9, 0, 0, FT_INVALID_PARAMETER},
          Chars{8, 1, 0, FT_INVALID_PARAMETER}, Chars{8, 0, 5, FT_INVALID_PARAMETER}}) {
        EXPECT_EQ(driver->SetDataCharacteristics(h, c.word, c.stop, c.parity), c.status)
            << int(c.word) << int(c.stop) << int(c.parity);
    }
    // A pseudo-terminal has no USB latency timer; harmless.
    EXPECT_EQ(driver->SetLatencyTimer(h, 1), FT_NOT_SUPPORTED);
    std::uint8_t ms = 0;
    EXPECT_EQ(driver->GetLatencyTimer(h, &ms), FT_NOT_SUPPORTED);
}

TEST_F(PtyPair, OtherSideGoneFailsTheQueueStatus) {
    const FT_HANDLE h = open();
    ::close(master);
    master = -1;
    std::uint32_t queued = 0;
    EXPECT_EQ(driver->GetQueueStatus(h, &queued), FT_IO_ERROR);
    EXPECT_FALSE(driver->lastError().isEmpty());
}

TEST_F(PtyPair, ClosedAndUnknownHandlesAreInvalid) {
    const FT_HANDLE h = open();
    EXPECT_NE(h, 0u);
    EXPECT_EQ(driver->Close(h), FT_OK);
    std::uint32_t n = 0;
    EXPECT_EQ(driver->Write(h, "x", 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(driver->GetQueueStatus(h, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(driver->Close(h), FT_INVALID_HANDLE);
    EXPECT_EQ(driver->ReadyFd(h), -1);
    EXPECT_EQ(driver->Kind(h), DeviceKind::None);
    // Closing let go of the port: it opens again.
    EXPECT_NE(open(), h);
}

TEST_F(PtyPair, SecondOpenInThisProgramIsRefused) {
    open();
    FT_HANDLE h = 0;
    EXPECT_EQ(driver->OpenEx(slavePath.toLocal8Bit().constData(), FT_OPEN_BY_SERIAL_NUMBER, &h),
              FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(driver->lastError(),
              QStringLiteral("Cannot open %1: it is already open in this program.").arg(slavePath));
}

TEST_F(PtyPair, PortLockedByAnotherProgramIsRefused) {
    const int other = ::open(slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    FT_HANDLE h = 0;
    EXPECT_EQ(driver->OpenEx(slavePath.toLocal8Bit().constData(), FT_OPEN_BY_SERIAL_NUMBER, &h),
              FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(driver->lastError(),
              QStringLiteral("Cannot open %1: it is in use by another program.").arg(slavePath));
    ::close(other);
    EXPECT_NE(open(), 0u);
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
        FT_STATUS status;
        QString error;
    };
    QVector<Case> cases = {
        {plain, FT_DEVICE_NOT_OPENED,
         QStringLiteral("Cannot open %1: it is not a serial port.").arg(plain)},
        {QStringLiteral("FT-NONE"), FT_DEVICE_NOT_FOUND,
         QStringLiteral("No serial port with serial number FT-NONE is attached.")},
    };
    if (::geteuid() != 0) {  // root opens anything
        cases.append({locked, FT_DEVICE_NOT_OPENED,
                      QStringLiteral("Permission denied opening %1: add yourself to the 'dialout' "
                                     "group (sudo usermod -aG dialout $USER, then log in again) or "
                                     "install the udev rule from the README.")
                          .arg(locked)});
    }
    for (const Case& c : cases) {
        FT_HANDLE h = 0;
        EXPECT_EQ(driver.OpenEx(c.serial.toLocal8Bit().constData(), FT_OPEN_BY_SERIAL_NUMBER, &h),
                  c.status)
            << c.serial.toStdString();
        EXPECT_EQ(driver.lastError(), c.error);
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
        editorState().reset();
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
    std::uint32_t queued = 0;
    EXPECT_EQ(driver->GetQueueStatus(d2xx().FTHandle, &queued), FT_IO_ERROR);
    char buffer[16];
    std::uint32_t got = 0;
    const FT_STATUS read = driver->Read(d2xx().FTHandle, buffer, sizeof buffer, &got);
    EXPECT_TRUE(read == FT_IO_ERROR || got == 0);
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

TEST_F(PedalSimulator, SimulatorGoneEndsAWaitWithAPortError) {
    link({});
    sim.kill();
    sim.waitForFinished(30000);
    EXPECT_EQ(ReceiveText(60000).outcome, WaitOutcome::PortError);
}

}  // namespace
