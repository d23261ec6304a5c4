#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "QtPrinters.h"
#include "support/TempHome.h"

// zendalctl firmware, run as the user runs it, against the in-process virtual pedal.
namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// A valid start for an image of this pedal: stack 0x20005000, reset 0x08000101.
QByteArray imageBytes(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13);
    bytes.replace(0, 8, QByteArray::fromHex("0050002001010008"));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

CliRun zendalctl(const QStringList& args, bool saveHeld = false) {
    QProcess p;
    if (saveHeld) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZENDAL_VIRTUAL_PEDAL_SAVE_HELD"), QStringLiteral("1"));
        p.setProcessEnvironment(env);
    }
    p.start(QStringLiteral(ZENDALCTL_PATH), args);
    CliRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

}  // namespace

TEST(ZendalctlFirmware, FlashesCatalogueImagesAndFiles) {
    zendal::test::TempHome home;
    QTemporaryDir dir;
    const QString file = dir.filePath("image.bin");
    ASSERT_TRUE(writeFile(file, imageBytes(3000)));
    struct Case {
        QStringList args;
        const char* out;
    };
    const Case cases[] = {
        {{"firmware_4"}, "flashed firmware_4 (variant 4), read back equal\n"},
        {{"Firmware_5", "--no-verify"}, "flashed Firmware_5 (variant 5), not verified\n"},
        {{file, "--variant", "3"}, "(variant 3), read back equal\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        // B2 held: the pedal enters its bootloader (zendalctl does not ask for it).
        const CliRun r =
            zendalctl(QStringList{"--virtual", "firmware", "flash"} << c.args, /*saveHeld=*/true);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.endsWith(c.out)) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains("writing chunk 1/")) << "progress on standard error";
        // Backed up before the restart, and the way back named after success.
        const QString backups = home.documents() + "/Tavrel/Zendal/Backup ";
        EXPECT_TRUE(r.err.contains("settings backed up in " + backups)) << r.err.toStdString();
        EXPECT_TRUE(
            r.err.contains("to put the effect's settings back: zendalctl preset load '" + backups))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith("/Noise Gate.txt'\n")) << r.err.toStdString();
    }
    // The last image written is remembered for a recovery.
    QFile record(home.documents() + "/Tavrel/Zendal/LastFirmware.txt");
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(record.readAll(), "file 3");
}

TEST(ZendalctlFirmware, FilesAreCheckedBeforeThePedalIsTouched) {
    zendal::test::TempHome home;
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* path;  // instead of a file with bytes
        const char* err;
    };
    const Case cases[] = {
        {"empty", {}, nullptr, "the image is empty"},
        {"/dev/zero", {}, "/dev/zero", "larger than the 130048 bytes that fit below the variant"},
        {"too large", imageBytes(130049), nullptr, "larger than the 130048 bytes"},
        {"no vector table", QByteArray(3000, 'x'), nullptr, "not a firmware image for this pedal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString path = c.path ? QString(c.path) : dir.filePath("bad.bin");
        if (!c.path) {
            ASSERT_TRUE(writeFile(path, c.bytes));
        }
        // A port that does not exist: a refusal that names the file came first.
        const CliRun r = zendalctl(
            {"--port", dir.filePath("no-such-tty"), "firmware", "flash", path, "--variant", "3"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("cannot use " + path + ": ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("no-such-tty")) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("bootloader")) << r.err.toStdString();
    }
}

TEST(ZendalctlFirmware, NamesTheFailedStepAndRefusesBadArguments) {
    zendal::test::TempHome home;
    struct Case {
        QStringList args;
        int exitCode;
        const char* err;
    };
    const Case cases[] = {
        // The virtual pedal runs its firmware: nobody answers the connection byte.
        {{"Firmware_5", "--already-in-bootloader"},
         1,
         "firmware flash failed: Connect: no reply within 100 ms"},
        // B2 not held: the pedal restarts its firmware, not the bootloader.
        {{"Firmware_5"}, 1, "firmware flash failed: Connect: no reply within 1000 ms"},
        {{"/nonexistent/image.bin", "--variant", "2"}, 1, "cannot use /nonexistent/image.bin"},
        {{"image.bin"}, 2, "an image file needs --variant N"},
        {{"Firmware_5", "--variant", "4"}, 2, "the variant of Firmware_5 is its number"},
        {{"image.bin", "--variant", "9"}, 2, "--variant needs a number from 1 to 5"},
        {{}, 2, "name an image or a file"},
        {{"Firmware_5", "--fast"}, 2, "unknown option --fast"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = zendalctl(QStringList{"--virtual", "firmware", "flash"} << c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }
}

#ifdef ZENDAL_PEDAL_SIM_PATH
namespace {

constexpr int kLimitMs = 20000;

// zendal-pedal-sim on a pseudo-terminal for one test.
class Sim {
  public:
    explicit Sim(const QStringList& args) {
        process_.start(QStringLiteral(ZENDAL_PEDAL_SIM_PATH), args);
        if (!process_.waitForStarted(kLimitMs)) return;
        QDeadlineTimer deadline(kLimitMs);
        while (!process_.canReadLine() && !deadline.hasExpired() &&
               process_.state() == QProcess::Running)
            process_.waitForReadyRead(100);
        if (process_.canReadLine()) path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~Sim() {
        process_.kill();
        process_.waitForFinished(kLimitMs);
    }
    QString path() const { return path_; }
    // Writes bytes as another program on the line would, and returns what
    // came back within the limit once `want` bytes arrived. With againAfterMs,
    // the bytes go again while nothing has come back for that long, as a
    // program does with a part that may still be resetting.
    QByteArray exchange(const QByteArray& bytes, int want, int againAfterMs = 0) {
        const int fd = ::open(path_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return {};
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
        QByteArray got;
        auto send = [&] { return ::write(fd, bytes.constData(), bytes.size()) == bytes.size(); };
        if (send()) {
            QDeadlineTimer deadline(kLimitMs);
            QDeadlineTimer again(againAfterMs);
            char buffer[256];
            while (got.size() < want && !deadline.hasExpired()) {
                if (againAfterMs > 0 && got.isEmpty() && again.hasExpired()) {
                    if (!send()) break;
                    again.setRemainingTime(againAfterMs);
                }
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 100) <= 0) continue;
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0) got.append(buffer, static_cast<int>(n));
            }
        }
        ::close(fd);
        return got;
    }

  private:
    QProcess process_;
    QString path_;
};

QString remembered(const zendal::test::TempHome& home) {
    QFile f(home.documents() + "/Tavrel/Zendal/LastFirmware.txt");
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

TEST(ZendalctlFirmware, RecoverWritesTheLastImageIntoAPedalWaitingInItsBootloader) {
    zendal::test::TempHome home;
    // B2 held, as for any flash: the pedal restarts into its bootloader (zendalctl does not ask).
    // A 1 ms latency timer for speed: three whole images go over the line at its real rate.
    Sim sim({"--bootloader", "--save-held", "--latency", "1"});
    ASSERT_FALSE(sim.path().isEmpty());
    const QStringList port{"--port", sim.path()};

    // Nothing remembered yet: the newest image carried.
    CliRun r = zendalctl(port + QStringList{"firmware", "recover"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "recovered: wrote Firmware_5 (variant 5), read back equal\n");
    EXPECT_EQ(remembered(home), "Firmware_5");
    EXPECT_FALSE(r.err.contains("backed up")) << "no backup exists yet";

    r = zendalctl(port + QStringList{"firmware", "flash", "Firmware_4"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(remembered(home), "Firmware_4");

    // The pedal back in its bootloader, and connected to by a program that
    // then ended: a second 7F is not answered, and recovery copes.
    ASSERT_EQ(sim.exchange(QByteArray::fromHex("0500010203040506"), 0), QByteArray());
    // A connection byte that comes while the part resets is lost.
    ASSERT_EQ(sim.exchange(QByteArray::fromHex("7F"), 1, /*againAfterMs=*/1000),
              QByteArray::fromHex("79"));
    r = zendalctl(port + QStringList{"firmware", "recover"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "recovered: wrote Firmware_4 (variant 4), read back equal\n");
    // The backup the flash made is named, and its command puts the settings back.
    EXPECT_TRUE(r.err.contains("settings backed up before an earlier upgrade are in " +
                               home.documents() + "/Tavrel/Zendal/Backup "))
        << r.err.toStdString();
    const QString hint = "to put the effect's settings back: zendalctl preset load '";
    const qsizetype at = r.err.indexOf(hint);
    ASSERT_GE(at, 0) << r.err.toStdString();
    const QString preset = r.err.mid(at + hint.size()).section('\'', 0, 0);
    r = zendalctl(port + QStringList{"preset", "load", preset});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

    // A pedal that runs its firmware is not for recovery.
    r = zendalctl(port + QStringList{"firmware", "recover"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no bootloader answers")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("zendalctl firmware flash")) << r.err.toStdString();
}
#endif
