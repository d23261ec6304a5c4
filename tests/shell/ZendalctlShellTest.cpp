#include <gtest/gtest.h>

#include "Printers.h"

#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include "shell/ServiceTools.h"

using namespace zendal;

namespace {

struct CtlRun {
    int exitCode = -1;
    QString out, err;
};

CtlRun zendalctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ZENDALCTL_PATH), args);
    CtlRun r;
    if (!p.waitForFinished(120000)) return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace

TEST(ShellZendalctl, BiquadPrintsTheConsoleLines) {
    const CtlRun r = zendalctl({QStringLiteral("biquad"), QStringLiteral("C#3"),
                                QStringLiteral("-4.5"), QStringLiteral("2.5")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const double f0 = service::NoteFrequency(16 - 12);
    const QStringList expected = service::PrintBiquadCoefficients(
        QStringLiteral("C#3"), service::peakingBiquad(f0, -4.5, 2.5), -4.5, 2.5, QLocale::c());
    EXPECT_EQ(r.out, expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

TEST(ShellZendalctl, UsageErrorsTable) {
    const QStringList cases[] = {
        {QStringLiteral("biquad"), QStringLiteral("H2"), QStringLiteral("0"), QStringLiteral("1")},
        {QStringLiteral("biquad"), QStringLiteral("A2"), QStringLiteral("0,5"),
         QStringLiteral("1")},
        {QStringLiteral("biquad"), QStringLiteral("A2"), QStringLiteral("0"), QStringLiteral("0")},
        {QStringLiteral("biquad"), QStringLiteral("A2")},
        {QStringLiteral("--virtual"), QStringLiteral("eeprom"), QStringLiteral("read"),
         QStringLiteral("52")},
        {QStringLiteral("--virtual"), QStringLiteral("eeprom"), QStringLiteral("wipe"),
         QStringLiteral("50")},
        {QStringLiteral("--virtual"), QStringLiteral("eeprom"), QStringLiteral("read"),
         QStringLiteral("50"), QStringLiteral("--out")},
    };
    for (const QStringList& args : cases) {
        const CtlRun r = zendalctl(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(QLatin1Char(' ')).toStdString();
    }
}

TEST(ShellZendalctl, EepromCommandsAgainstTheVirtualPedal) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ee 51.bin"));
    const CtlRun r =
        zendalctl({QStringLiteral("--virtual"), QStringLiteral("eeprom"), QStringLiteral("read"),
                   QStringLiteral("51"), QStringLiteral("--out"), file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.size(), 16384);

    const CtlRun dump = zendalctl({QStringLiteral("--virtual"), QStringLiteral("eeprom"),
                                   QStringLiteral("read"), QStringLiteral("50")});
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    const QStringList lines = dump.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1024);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("0000: ")));
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("3FF0: ")));

    const CtlRun erase = zendalctl({QStringLiteral("--virtual"), QStringLiteral("eeprom"),
                                    QStringLiteral("erase"), QStringLiteral("50")});
    EXPECT_EQ(erase.exitCode, 0) << erase.err.toStdString();
}
