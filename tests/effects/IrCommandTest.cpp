// zendalctl ir: the prepared image written to a file, and its refusals.
#include <gtest/gtest.h>

#include <QFile>
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
        EXPECT_TRUE(r.out.contains(QStringLiteral("Warning:")));
    }
    // Without --out the image goes to standard output.
    const CommandRun r = runCommand({QStringLiteral("0x2A"), wav});
    EXPECT_EQ(r.code, ctl::kOk);
    EXPECT_EQ(r.out, expected.image + QStringLiteral("\n"));
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
