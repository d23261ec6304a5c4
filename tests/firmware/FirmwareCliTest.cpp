#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "QtPrinters.h"

// zendalctl firmware, run as the user runs it, against the in-process virtual pedal.
namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

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
    QTemporaryDir dir;
    const QString file = dir.filePath("image.bin");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(3000, '\0');
        for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13);
        f.write(bytes);
    }
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
    }
}

TEST(ZendalctlFirmware, NamesTheFailedStepAndRefusesBadArguments) {
    struct Case {
        QStringList args;
        int exitCode;
        const char* err;
    };
    const Case cases[] = {
        // The virtual pedal runs its firmware: nobody answers the connection byte.
        {{"Firmware_5", "--already-in-bootloader"},
         1,
         "firmware flash failed: Connect: no reply within 1000 ms"},
        // B2 not held: the pedal restarts its firmware, not the bootloader.
        {{"Firmware_5"}, 1, "firmware flash failed: Connect: no reply within 1000 ms"},
        {{"/nonexistent/image.bin", "--variant", "2"}, 1, "cannot read /nonexistent/image.bin"},
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
