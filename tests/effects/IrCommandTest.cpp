// zendalctl ir: the prepared image written to a file, its choices, the plots,
// and its refusals.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>

#include "IrSupport.h"
#include "WavFixture.h"
#include "app/zendalctl/Command.h"
#include "effects/ImpulseResponse.h"

using namespace zendal;
using namespace zendal::test;

namespace {

struct CommandRun {
    int code = -1;
    QString out, err;
};

CommandRun runCommand(const QStringList& args) {
    CommandRun r;
    QTextStream out(&r.out), err(&r.err);
    ctl::Context c{args, out, err, [] { return false; }, nullptr};
    for (const ctl::CommandInfo& info : ctl::commands())
        if (info.name == QLatin1String("ir")) r.code = info.run(c);
    out.flush();
    err.flush();
    return r;
}

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

TEST(IrCommand, WritesThePreparedImage) {
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("cab.wav"));
    {
        QFile f(wav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pcmWav(knownSamples(1000, 24, 4), 1, 44100, 24));
    }
    const IrImport expected = prepareImpulseResponse(wav, QStringLiteral("Woolly + Cabinet Sim"));
    ASSERT_TRUE(expected.ok());
    // The effect by display name in any case, by resource name, or by id.
    for (const char* effect : {"Woolly + Cabinet Sim", "woolly + cabinet sim",
                               "WOOLLY_PLUS_CABINET_SIM", "0x2A", "2a"}) {
        SCOPED_TRACE(effect);
        const QString out = dir.filePath(QStringLiteral("image.hex"));
        QFile::remove(out);
        const CommandRun r =
            runCommand({QString::fromLatin1(effect), wav, QStringLiteral("--out"), out});
        EXPECT_EQ(r.code, ctl::kOk) << r.err.toStdString();
        EXPECT_EQ(readAll(out), expected.image);
        EXPECT_TRUE(r.out.contains(QStringLiteral("Sample rate: 44100")));
        EXPECT_TRUE(r.out.contains(
            QStringLiteral("What will be done:\n  Resampled from 44100 Hz to 48000 Hz\n")));
    }
    // Without --out the image goes to standard output.
    const CommandRun r = runCommand({QStringLiteral("0x2A"), wav});
    EXPECT_EQ(r.code, ctl::kOk);
    EXPECT_EQ(r.out, expected.image + QStringLiteral("\n"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("Sample rate: 44100")));
}

TEST(IrCommand, ChoicesAndPlots) {
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("stereo.wav"));
    {
        QFile f(wav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pcmWav(knownSamples(2 * 1500, 24, 6), 2, 96000, 24));
    }
    struct Case {
        const char* name;
        QStringList options;
        IrOptions expected;
    } cases[] = {
        {"Defaults", {}, {}},
        {"Right",
         {QStringLiteral("--channel"), QStringLiteral("right")},
         {IrChannel::Right, false}},
        {"MidNormalised",
         {QStringLiteral("--normalize"), QStringLiteral("--channel"), QStringLiteral("MID")},
         {IrChannel::Mid, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = dir.filePath(QStringLiteral("image.hex"));
        const QString plot = dir.filePath(QStringLiteral("plots.png"));
        QFile::remove(out);
        QFile::remove(plot);
        const IrImport expected = prepareImpulseResponse(wav, QStringLiteral("Basic Cabinet Sim"),
                                                         std::nullopt, c.expected);
        ASSERT_TRUE(expected.ok());
        const CommandRun r =
            runCommand(QStringList{QStringLiteral("0x2B"), wav} + c.options +
                       QStringList{QStringLiteral("--out"), out, QStringLiteral("--plot"), plot});
        ASSERT_EQ(r.code, ctl::kOk) << r.err.toStdString();
        EXPECT_EQ(readAll(out), expected.image);
        for (const QString& step : expected.steps) EXPECT_TRUE(r.out.contains(step));
        const QImage image(plot);
        EXPECT_EQ(image.size(), QSize(800, 560));
        EXPECT_TRUE(r.out.contains(QStringLiteral("Plots written to ") + plot));
    }
}

TEST(IrCommand, Refusals) {
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.wav"));
    const QString bad = dir.filePath(QStringLiteral("bad.wav"));
    {
        QFile g(good), b(bad);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
        g.write(pcmWav(knownSamples(1000, 24, 4), 1, 48000, 24));
        b.write("not a wave file");
    }
    const QString out = dir.filePath(QStringLiteral("out.hex"));
    struct Case {
        const char* name;
        QStringList args;
        int code;
    };
    const Case cases[] = {
        {"NoArguments", {}, ctl::kUsage},
        {"NoFile", {QStringLiteral("0x2B")}, ctl::kUsage},
        {"OutWithoutName", {QStringLiteral("0x2B"), good, QStringLiteral("--out")}, ctl::kUsage},
        {"NotAnIrEffect",
         {QStringLiteral("Tape Echo + Wah-Wah"), good, QStringLiteral("--out"), out},
         ctl::kUsage},
        {"UnknownId", {QStringLiteral("0x30"), good, QStringLiteral("--out"), out}, ctl::kUsage},
        {"NotAWavFile", {QStringLiteral("0x2B"), bad, QStringLiteral("--out"), out}, ctl::kFailure},
        {"MissingFile",
         {QStringLiteral("0x2B"), dir.filePath(QStringLiteral("none.wav")), QStringLiteral("--out"),
          out},
         ctl::kFailure},
        {"BadChannel",
         {QStringLiteral("0x2B"), good, QStringLiteral("--channel"), QStringLiteral("centre"),
          QStringLiteral("--out"), out},
         ctl::kUsage},
        {"ChannelWithoutValue",
         {QStringLiteral("0x2B"), good, QStringLiteral("--channel")},
         ctl::kUsage},
        {"PlotWithoutName", {QStringLiteral("0x2B"), good, QStringLiteral("--plot")}, ctl::kUsage},
        {"UnknownOption",
         {QStringLiteral("0x2B"), good, QStringLiteral("--normalise"), QStringLiteral("--out"),
          out},
         ctl::kUsage},
        {"UnwritablePlot",
         {QStringLiteral("0x2B"), good, QStringLiteral("--out"), out, QStringLiteral("--plot"),
          dir.filePath(QStringLiteral("no/such/folder/plots.png"))},
         ctl::kFailure},
        {"UnwritableOut",
         {QStringLiteral("0x2B"), good, QStringLiteral("--out"),
          dir.filePath(QStringLiteral("no/such/folder/out.hex"))},
         ctl::kFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandRun r = runCommand(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_FALSE(QFile::exists(out));
    }
}

}  // namespace
