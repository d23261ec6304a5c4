// zendalctl end to end: the built program run with QProcess against the
// in-process virtual pedal, against zendal-pedal-sim on a pseudo-terminal, and
// against a pseudo-terminal this test plays the pedal on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <functional>

namespace {

constexpr int kGenerousMs = 30000;

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

class Zendalctl : public ::testing::Test {
  protected:
    void SetUp() override {
        // No real ports, no FTDI library, no virtual pedal unless a test asks.
        QDir(sysfs.path()).mkpath(QStringLiteral("class/tty"));
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZENDAL_SYSFS_TTY"), sysfs.path() + QStringLiteral("/class/tty"));
        env.insert(QStringLiteral("ZENDAL_FTD2XX_LIBRARY"), QString());
        env.remove(QStringLiteral("ZENDAL_EXTRA_PORTS"));
        env.remove(QStringLiteral("ZENDAL_VIRTUAL_PEDAL"));
    }

    void start(QProcess& p, const QStringList& args) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZENDALCTL_PATH), args);
        ASSERT_TRUE(p.waitForStarted(kGenerousMs));
    }

    Outcome run(const QStringList& args) {
        QProcess p;
        return finish(p, args);
    }

    // Standard output into a file (a device, a regular file) instead of a pipe.
    Outcome runWithOutputTo(const QString& file, const QStringList& args,
                            std::function<void()> inChild = {}) {
        QProcess p;
        p.setStandardOutputFile(file);
        if (inChild) p.setChildProcessModifier(inChild);
        return finish(p, args);
    }

    Outcome finish(QProcess& p, const QStringList& args) {
        start(p, args);
        EXPECT_TRUE(p.waitForFinished(kGenerousMs)) << args.join(' ').toStdString();
        Outcome r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QTemporaryDir sysfs;
    QProcessEnvironment env;
};

// The pedal side of a pseudo-terminal, played by the test.
class PtyPedal {
  public:
    PtyPedal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        // The programs started here must not inherit the pedal's side, or
        // closing it here would not hang the line up.
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        termios raw{};
        ::tcgetattr(master_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
        path_ = QString::fromLocal8Bit(::ptsname(master_));
    }
    ~PtyPedal() { close(); }
    bool ok() const { return master_ >= 0 && !path_.isEmpty(); }
    QString path() const { return path_; }
    void close() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Everything written, allowing the reader all the time it needs.
    bool send(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, kGenerousMs) <= 0) return false;
            const ssize_t n = ::write(master_, bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno != EAGAIN) return false;
            if (n > 0) done += n;
        }
        return true;
    }

    // What the host has written so far, without waiting.
    QByteArray pending() {
        QByteArray got;
        char buf[256];
        for (;;) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<int>(n));
        }
        return got;
    }

    // What the host wrote until it has been quiet after `expected` bytes.
    QByteArray received(int expected) {
        QByteArray got;
        while (got.size() < expected) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, kGenerousMs) <= 0) break;
            char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<int>(n));
        }
        return got;
    }

  private:
    int master_ = -1;
    QString path_;
};

QString usageOf(const Outcome& r) {
    return r.err;
}

TEST_F(Zendalctl, UsageErrorsExitWithTwo) {
    const QList<QStringList> cases = {
        {},
        {"nosuch"},
        {"--port"},
        {"--bogus", "list"},
        {"--virtual", "--serial", "X", "info"},
        {"--virtual", "live", "maybe"},
        {"--virtual", "live"},
        {"--virtual", "midi", "17"},
        {"--virtual", "midi", "0"},
        {"--virtual", "midi", "twelve"},
        {"--virtual", "send", "0G"},
        {"--virtual", "send", "060"},
        {"--virtual", "send"},
        {"--virtual", "send", "0600", "--wait", "soon"},
        {"--virtual", "monitor", "--seconds", "x"},
        {"--virtual", "monitor", "--seconds", "-1"},
        {"--virtual", "info", "extra"},
        {"list", "extra"},
    };
    for (const QStringList& args : cases) {
        const Outcome r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("usage"))) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST_F(Zendalctl, GeneralUsageListsEveryCommand) {
    const Outcome r = run({"nosuch"});
    for (const char* line : {"  list\n", "  info\n", "  live on|off\n", "  midi omni|1..16\n",
                             "  send HEX [--wait MS]\n", "  monitor [--seconds S]\n"}) {
        EXPECT_TRUE(usageOf(r).contains(QLatin1String(line))) << line;
    }
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("  live on|off\n")));
    EXPECT_TRUE(help.out.contains(QLatin1String("  assign INDEX KI|KII|")))
        << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QLatin1String("\nEFFECT: ")));
}

TEST_F(Zendalctl, ListShowsSerialDescriptionAndPath) {
    PtyPedal pty;
    ASSERT_TRUE(pty.ok());
    env.insert(QStringLiteral("ZENDAL_EXTRA_PORTS"), pty.path());
    env.insert(QStringLiteral("ZENDAL_VIRTUAL_PEDAL"), QStringLiteral("1"));
    const Outcome r = run({"list"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, pty.path() + "\tVirtual Pedal (pty)\t" + pty.path() +
                         "\nZVP00001\tFT230X Basic UART\t-\n");
}

TEST_F(Zendalctl, NothingAttachedListsNothingAndCannotTalk) {
    EXPECT_EQ(run({"list"}).out, QString());
    const Outcome r = run({"info"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("no device found"))) << r.err.toStdString();
}

TEST_F(Zendalctl, InfoFromTheVirtualPedal) {
    const Outcome r = run({"--virtual", "info"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("effect: 0x26 "))) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("effect version: 1"));
    EXPECT_EQ(lines[2], QStringLiteral("firmware version: 5"));
}

TEST_F(Zendalctl, BackupThenADryRunRestoreOfTheSamePedal) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath("pedal");
    const Outcome backup = run({"--virtual", "backup", folder});
    EXPECT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    EXPECT_TRUE(backup.out.contains("saved: manifest.txt\n")) << backup.out.toStdString();
    const Outcome restore = run({"--virtual", "restore", folder, "--dry-run"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    EXPECT_TRUE(restore.out.startsWith("values and assignments: as in the backup\n"))
        << restore.out.toStdString();
    EXPECT_TRUE(restore.out.endsWith("dry run: nothing sent\n")) << restore.out.toStdString();
}

TEST_F(Zendalctl, ABankSlotTakesAtMost5440Bytes) {
    const Outcome tooLarge = run({"--virtual", "upload", "Spring Reverb", "--bank", "2"});
    EXPECT_EQ(tooLarge.exitCode, 1);
    EXPECT_TRUE(tooLarge.err.contains(QLatin1String("a bank slot takes at most 5440 bytes")))
        << tooLarge.err.toStdString();
    // The same image goes to the pedal's current effect.
    const Outcome preset = run({"--virtual", "upload", "Spring Reverb"});
    EXPECT_EQ(preset.exitCode, 0) << preset.err.toStdString();
}

TEST_F(Zendalctl, VerboseMirrorsTheLog) {
    const Outcome r = run({"--virtual", "--verbose", "live", "on"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QLatin1String("serial number: ZVP00001\n"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("baud rate = 115200\n")));
}

TEST_F(Zendalctl, MessagesReachThePortAsBytes) {
    struct Case {
        QStringList args;
        QByteArray bytes;
    };
    const QList<Case> cases = {
        {{"live", "on"}, QByteArray::fromHex("0A0100")},
        {{"live", "off"}, QByteArray::fromHex("0A0000")},
        {{"midi", "16"}, QByteArray::fromHex("0710")},
        {{"midi", "12"}, QByteArray::fromHex("070C")},
        {{"midi", "omni"}, QByteArray::fromHex("0700")},
        {{"send", "0b5000000a"}, QByteArray::fromHex("0B5000000A")},
    };
    for (const Case& c : cases) {
        PtyPedal pty;
        ASSERT_TRUE(pty.ok());
        const Outcome r = run(QStringList{"--port", pty.path()} + c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args.join(' ').toStdString() << r.err.toStdString();
        EXPECT_EQ(pty.received(static_cast<int>(c.bytes.size())), c.bytes)
            << c.args.join(' ').toStdString();
    }
}

TEST_F(Zendalctl, FirstListedDeviceIsTheDefault) {
    PtyPedal pty;
    ASSERT_TRUE(pty.ok());
    env.insert(QStringLiteral("ZENDAL_EXTRA_PORTS"), pty.path());
    EXPECT_EQ(run({"live", "on"}).exitCode, 0);
    EXPECT_EQ(pty.received(3), QByteArray::fromHex("0A0100"));
    // And by serial number (a pseudo-terminal's is its path).
    EXPECT_EQ(run({"--serial", pty.path(), "midi", "3"}).exitCode, 0);
    EXPECT_EQ(pty.received(2), QByteArray::fromHex("0703"));
}

TEST_F(Zendalctl, DeviceFailuresExitWithOne) {
    const Outcome missing = run({"--port", "/nonexistent/ttyUSB9", "live", "on"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              QStringLiteral("zendalctl: cannot open /nonexistent/ttyUSB9: no such port\n"));
    const Outcome unknown = run({"--serial", "NOSUCH", "info"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains(QLatin1String("cannot open NOSUCH")));

    PtyPedal silent;  // a pedal that never answers
    ASSERT_TRUE(silent.ok());
    const Outcome r = run({"--port", silent.path(), "info"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("no reply from the pedal"))) << r.err.toStdString();
    // The device query first; the bootloader's connection byte only after its silence.
    EXPECT_TRUE(silent.received(2).startsWith(QByteArray::fromHex("06007F")));
}

TEST_F(Zendalctl, SendCanShowTheReply) {
    const Outcome r = run({"--virtual", "send", "0600", "--wait", "500"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("310D0A33380D0A310D0A350D0A\n"));  // 1, 0x26, 1, 5
}

TEST_F(Zendalctl, MonitorNamesWhatThePedalSends) {
    PtyPedal pty;
    ASSERT_TRUE(pty.ok());
    QProcess p;
    start(p, {"--port", pty.path(), "monitor", "--seconds", "120"});
    // Messages are only sent once the port is open.
    p.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("monitoring") && p.waitForReadyRead(kGenerousMs)) {
        said += p.readAllStandardError();
    }
    ASSERT_TRUE(said.contains("monitoring"));
    p.setReadChannel(QProcess::StandardOutput);

    struct Case {
        QByteArray message;
        QStringList lines;
    };
    const QList<Case> cases = {
        {"02", {"bank 2"}},
        {"11A", {"effect 0x1A"}},
        {QByteArray::fromHex("AA020503FF"), {"control kind 2 index 5 value 1023"}},
        {QByteArray::fromHex("AA06030001AA06030000"),
         {"control kind 6 index 3 value 1", "control kind 6 index 3 value 0"}},
        {"Upload complete", {"text: Upload complete"}},
        {"0x", {"text: 0x"}},  // not a bank number after all
        {QByteArray(1, '\xAB') + QByteArray(16384, '\xFF'), {"dump 16384 bytes"}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(pty.send(c.message));
        QStringList lines;
        QByteArray pending;
        while (lines.size() < c.lines.size() && p.waitForReadyRead(kGenerousMs)) {
            pending += p.readAllStandardOutput();
            while (pending.contains('\n')) {
                const auto end = pending.indexOf('\n');
                lines.append(QString::fromUtf8(pending.left(end)));
                pending.remove(0, end + 1);
            }
        }
        EXPECT_EQ(lines, c.lines) << c.message.left(20).toHex().toStdString();
    }
    // The pedal goes away: the monitor says so and fails.
    pty.close();
    ASSERT_TRUE(p.waitForFinished(kGenerousMs));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("the port failed"));
}

TEST_F(Zendalctl, MonitorEndsQuietlyAfterItsTime) {
    const Outcome r = run({"--virtual", "monitor", "--seconds", "0.2"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
}

// A port another program holds (and locks, as the editor does) is named as such.
TEST_F(Zendalctl, APortInUseByAnotherProgramIsNamed) {
    PtyPedal pty;
    ASSERT_TRUE(pty.ok());
    const int other = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    const Outcome r = run({"--port", pty.path(), "live", "on"});
    ::close(other);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(
        QStringLiteral("Cannot open %1: it is in use by another program.\n").arg(pty.path())))
        << r.err.toStdString();
    EXPECT_EQ(pty.pending(), QByteArray());
}

// Whatever the command, a usage error exits 2 before the pedal hears a byte.
TEST_F(Zendalctl, UsageErrorsAreRefusedBeforeThePedalHearsAnything) {
    PtyPedal pty;
    ASSERT_TRUE(pty.ok());
    const QList<QStringList> cases = {
        {"monitor", "--seconds", "nan"},
        {"monitor", "--seconds", "inf"},
        {"set", "16", "0"},
        {"set", "-1", "0"},
        {"set", "0", "1024"},
        {"set", "0", "-1"},
        {"preset", "save", ""},
        {"preset", "load", ""},
        {"backup"},
        {"backup", "--virtual"},
        {"restore"},
        {"restore", "x", "--force"},
        {"assign", "bypass", "EXP"},
        {"assign", "preset"},
        {"eeprom", "read", "50", "--out", ""},
        {"upload", "No Such Effect"},
        {"upload", "0x40"},
        {"controls", "No Such Effect"},
        {"controls", "0x40"},
        {"ir", "No Such Effect", "x.wav"},
        {"ir", "Basic Cabinet Sim", "x.wav", "--out", ""},
        {"biquad", "A2", "1e308", "1.41"},
        {"biquad", "A2", "-1e308", "1.41"},
        {"biquad", "A2", "400", "1.41"},
    };
    for (const QStringList& args : cases) {
        const Outcome r = run(QStringList{"--port", pty.path()} + args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
        EXPECT_EQ(pty.pending(), QByteArray()) << args.join(' ').toStdString();
    }
}

// "> file" on a full disk or past a file-size limit is a failure with the reason.
TEST_F(Zendalctl, StandardOutputThatCannotBeWrittenFails) {
    const QList<QStringList> cases = {
        {"--help"},
        {"effects"},
        {"controls", "0x26"},
        {"biquad", "A2", "0", "1.41"},
        {"--virtual", "info"},
        {"--virtual", "settings"},
        {"--virtual", "eeprom", "read", "50"},
    };
    for (const QStringList& args : cases) {
        const Outcome r = runWithOutputTo(QStringLiteral("/dev/full"), args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(
            QLatin1String("zendalctl: cannot write to standard output: No space left on device\n")))
            << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }

    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/dump.txt");
    const Outcome limited = runWithOutputTo(file, {"--virtual", "eeprom", "read", "50"}, [] {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(limited.exitCode, 1);  // not killed by SIGXFSZ
    EXPECT_TRUE(limited.err.contains(
        QLatin1String("zendalctl: cannot write to standard output: File too large\n")))
        << limited.err.toStdString();
}

// --out and preset save write into devices and FIFOs, follow links, and never
// turn a device node into a plain file.
TEST_F(Zendalctl, SavesNeverReplaceWhatIsNotARegularFile) {
    QTemporaryDir dir;
    auto at = [&](const char* name) { return dir.path() + QLatin1Char('/') + name; };
    auto kind = [&](const char* name) {
        struct stat st {};
        if (::lstat(QFile::encodeName(at(name)).constData(), &st) != 0) return 'm';
        return S_ISCHR(st.st_mode)    ? 'c'
               : S_ISLNK(st.st_mode)  ? 'l'
               : S_ISFIFO(st.st_mode) ? 'p'
                                      : 'f';
    };
    if (::mknod(QFile::encodeName(at("null")).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        ::mknod(QFile::encodeName(at("full")).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "mknod is not allowed here: " << std::strerror(errno);
    }
    ASSERT_EQ(::symlink("dump.bin", QFile::encodeName(at("link.bin")).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
    struct Case {
        QStringList args;
        int exitCode;
        const char* error;
    };
    const QList<Case> cases = {
        {{"--virtual", "eeprom", "read", "50", "--out", at("null")}, 0, ""},
        {{"--virtual", "eeprom", "read", "50", "--out", at("full")}, 1, "No space left on device"},
        {{"--virtual", "eeprom", "read", "50", "--out", at("link.bin")}, 0, ""},
        {{"--virtual", "eeprom", "read", "50", "--out", at("fifo")},
         1,
         "no program reads from this FIFO"},
        {{"--virtual", "preset", "save", at("full")},
         1,
         "Error saving file: No space left on device"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.error))) << r.err.toStdString();
    }
    EXPECT_EQ(kind("null"), 'c');
    EXPECT_EQ(kind("full"), 'c');
    EXPECT_EQ(kind("fifo"), 'p');
    EXPECT_EQ(kind("link.bin"), 'l');
    EXPECT_EQ(QFileInfo(at("dump.bin")).size(), 16384);
}

// Endless input ends at the limit of its kind.
TEST_F(Zendalctl, EndlessInputIsRefusedAtTheLimitOfItsKind) {
    PtyPedal pty;
    ASSERT_TRUE(pty.ok());
    struct Case {
        QStringList args;
        const char* error;
    };
    const QList<Case> cases = {
        {{"--port", pty.path(), "preset", "load", "/dev/zero"},
         "zendalctl: Error loading file: the file is larger than 4096 bytes, too large for a "
         "preset file\n"},
        {{"ir", "Basic Cabinet Sim", "/dev/zero"},
         "ir: The file \"zero\" is too large for an impulse response: at most 50 MB are read.\n"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.err, QString::fromLatin1(c.error));
    }
    EXPECT_EQ(pty.pending(), QByteArray());
}

// A reply the pedal cannot mean is refused, naming the field.
TEST_F(Zendalctl, DeviceInformationOutOfRangeIsRefused) {
    struct Case {
        QByteArray reply;
        int exitCode;
        const char* said;  // on standard error when refused, else the first line out
    };
    const Case cases[] = {
        {"1\r\n-1\r\n1\r\n5\r\n", 1,
         "zendalctl: unexpected device information: effect number -1 is outside the catalogue's "
         "ids 0 to 63\n"},
        {"1\r\n64\r\n1\r\n5\r\n", 1,
         "zendalctl: unexpected device information: effect number 64 is outside the catalogue's "
         "ids 0 to 63\n"},
        {"1\r\n38\r\n-2\r\n5\r\n", 1,
         "zendalctl: unexpected device information: effect version -2 is not a byte (0 to "
         "255)\n"},
        {"1\r\n38\r\n1\r\n256\r\n", 1,
         "zendalctl: unexpected device information: firmware version 256 is not a byte (0 to "
         "255)\n"},
        {"255\r\n255\r\n1\r\n5\r\n", 0, "effect: none\n"},
    };
    for (const Case& c : cases) {
        PtyPedal pty;
        ASSERT_TRUE(pty.ok());
        QProcess p;
        start(p, {"--port", pty.path(), "info"});
        ASSERT_EQ(pty.received(2), QByteArray::fromHex("0600"));
        ASSERT_TRUE(pty.send(c.reply));
        ASSERT_TRUE(p.waitForFinished(kGenerousMs));
        EXPECT_EQ(p.exitCode(), c.exitCode) << c.reply.toStdString();
        const QString said = QString::fromUtf8(c.exitCode == 0 ? p.readAllStandardOutput()
                                                               : p.readAllStandardError());
        EXPECT_TRUE(said.startsWith(QString::fromLatin1(c.said))) << said.toStdString();
    }
}

// EFFECT is read alike by every command that takes it: names in any case,
// resource names, and ids in hexadecimal with or without 0x (a bare "27" is
// 0x27, never decimal 27).
TEST_F(Zendalctl, EveryCommandReadsEffectTheSameWay) {
    struct Case {
        const char* given;
        const char* effect;
    };
    const Case cases[] = {
        {"Basic Cabinet Sim", "Basic Cabinet Sim"},
        {"basic cabinet SIM", "Basic Cabinet Sim"},
        {"BASIC_CABINET_SIM", "Basic Cabinet Sim"},
        {"basic_cabinet_sim", "Basic Cabinet Sim"},
        {"0x2B", "Basic Cabinet Sim"},
        {"0x2b", "Basic Cabinet Sim"},
        {"2B", "Basic Cabinet Sim"},
        {"2b", "Basic Cabinet Sim"},
        {"27", "Cabinet Sim + EQ"},
        {"Cabinet_Sim_plus_EQ", "Cabinet Sim + EQ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        const QString effect = QString::fromUtf8(c.effect);
        const Outcome controls = run({"controls", c.given});
        EXPECT_EQ(controls.exitCode, 0) << controls.err.toStdString();
        EXPECT_TRUE(controls.out.startsWith(effect + ": ")) << controls.out.toStdString();

        const Outcome upload = run({"--virtual", "upload", c.given});
        EXPECT_EQ(upload.exitCode, 0) << upload.err.toStdString();
        EXPECT_TRUE((upload.out + upload.err).contains("uploading " + effect + " ("))
            << upload.err.toStdString();

        // The effect is taken; only the missing file stops the import.
        const Outcome ir = run({"ir", c.given, sysfs.filePath("missing.wav")});
        EXPECT_EQ(ir.exitCode, 1) << ir.err.toStdString();
        EXPECT_TRUE(ir.err.contains("missing.wav")) << ir.err.toStdString();
    }
    for (const char* notAnEffect : {"0x00", "0", "40", "0x2B0", "Basic Cabinet"}) {
        SCOPED_TRACE(notAnEffect);
        EXPECT_EQ(run({"controls", notAnEffect}).exitCode, 2);
        EXPECT_EQ(run({"--virtual", "upload", notAnEffect}).exitCode, 2);
        EXPECT_EQ(run({"ir", notAnEffect, "x.wav"}).exitCode, 2);
    }
}

// A pedal that answers the device query with silence but the bootloader's
// connection byte with an acknowledge waits in its bootloader.
TEST_F(Zendalctl, InfoNamesAPedalThatWaitsInItsBootloader) {
    struct Case {
        const char* name;
        QByteArray answerTo7F;  // nothing: no bootloader either
        const char* err;
    };
    const Case cases[] = {
        {"bootloader", QByteArray::fromHex("79"),
         "zendalctl: the pedal waits in its bootloader; run 'zendalctl firmware recover'"},
        {"nothing answers", {}, "zendalctl: no reply from the pedal to the device information"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPedal pty;
        ASSERT_TRUE(pty.ok());
        QProcess p;
        start(p, {"--port", pty.path(), "info"});
        ASSERT_EQ(pty.received(2), QByteArray::fromHex("0600"));
        ASSERT_EQ(pty.received(1), QByteArray::fromHex("7F"));
        if (!c.answerTo7F.isEmpty()) {
            ASSERT_TRUE(pty.send(c.answerTo7F));
        }
        ASSERT_TRUE(p.waitForFinished(kGenerousMs));
        EXPECT_EQ(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(err.contains(QString::fromLatin1(c.err))) << err.toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    }
}

// Restarting into the bootloader sends what the editor's Upgrade Mode sends:
// the backup's device query, bypass, the restart message; and the user hears
// about B2 (SAVE) before that.
TEST_F(Zendalctl, FirmwareFlashRestartsThePedalAsUpgradeModeDoes) {
    PtyPedal pty;
    ASSERT_TRUE(pty.ok());
    QProcess p;
    start(p, {"--port", pty.path(), "firmware", "flash", "Firmware_5"});
    // Unanswered, the backup stops there.
    EXPECT_EQ(pty.received(2), QByteArray::fromHex("0600"));
    const QByteArray restart =
        QByteArray::fromHex("0D01") + QByteArray::fromHex("0500010203040506");
    EXPECT_EQ(pty.received(static_cast<int>(restart.size())), restart);
    // Nobody answers as a bootloader here: the flash stops at the connection.
    ASSERT_TRUE(p.waitForFinished(kGenerousMs));
    EXPECT_EQ(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const auto hold = err.indexOf(QLatin1String("keep B2 (SAVE) on the pedal pressed"));
    EXPECT_GE(hold, 0) << err.toStdString();
    EXPECT_LT(hold, err.indexOf(QLatin1String("firmware flash failed"))) << err.toStdString();
}

#ifdef ZENDAL_PEDAL_SIM_PATH
TEST_F(Zendalctl, TalksToThePedalSimulatorOnAPseudoTerminal) {
    QProcess sim;
    sim.start(QStringLiteral(ZENDAL_PEDAL_SIM_PATH), {"--effect", "0x10", "--exit-on-stdin-eof"});
    ASSERT_TRUE(sim.waitForStarted(kGenerousMs));
    while (!sim.canReadLine() && sim.waitForReadyRead(kGenerousMs)) {
    }
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    ASSERT_TRUE(path.startsWith(QLatin1String("/dev/pts/"))) << path.toStdString();

    const Outcome info = run({"--port", path, "info"});
    EXPECT_EQ(info.exitCode, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.startsWith(QLatin1String("effect: 0x10 "))) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains(QLatin1String("\nfirmware version: 5\n")));

    env.insert(QStringLiteral("ZENDAL_EXTRA_PORTS"), path);
    const Outcome list = run({"list"});
    EXPECT_EQ(list.out, path + "\tVirtual Pedal (pty)\t" + path + "\n");
    for (const QStringList& args :
         {QStringList{"live", "on"}, QStringList{"midi", "omni"}, QStringList{"live", "off"}}) {
        EXPECT_EQ(run(QStringList{"--serial", path} + args).exitCode, 0)
            << args.join(' ').toStdString();
    }
    // The simulator still answers after those messages.
    EXPECT_EQ(run({"--port", path, "info"}).exitCode, 0);

    sim.closeWriteChannel();
    if (!sim.waitForFinished(kGenerousMs)) sim.kill();
}
#endif

}  // namespace
