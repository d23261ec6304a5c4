// zendalctl effects / controls, run through the command table.
#include <gtest/gtest.h>

#include <QTextStream>

#include "app/zendalctl/Command.h"

namespace zendal::ctl {
namespace {

struct CtlRun {
    int code = -1;
    QString out, err;
};

CtlRun run(const QString& name, const QStringList& args) {
    CtlRun result;
    QTextStream out(&result.out), err(&result.err);
    Context ctx{args, out, err, [] { return false; }, nullptr};
    for (const CommandInfo& command : commands()) {
        if (command.name == name) result.code = command.run(ctx);
    }
    out.flush();
    err.flush();
    return result;
}

TEST(CatalogueCtl, EffectsListsEveryEffectButTheEmptySlot) {
    const CtlRun r = run(QStringLiteral("effects"), {});
    ASSERT_EQ(r.code, kOk) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 63);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("01  Gain ")));
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral(" 1216  Clean Boost")));
    const QString woolly = lines[0x2A - 1].simplified();
    EXPECT_EQ(woolly, QStringLiteral("2A Impulse Response 6020 Woolly + Cabinet Sim"));
    EXPECT_EQ(lines[0x35 - 1].simplified(), QStringLiteral("35 - 2048 Factory Test"));
    EXPECT_EQ(run(QStringLiteral("effects"), {QStringLiteral("extra")}).code, kUsage);
}

TEST(CatalogueCtl, ControlsByIdOrName) {
    for (const QString& argument :
         {QStringLiteral("0x1A"), QStringLiteral("1a"), QStringLiteral("Tremolo")}) {
        const CtlRun r = run(QStringLiteral("controls"), {argument});
        ASSERT_EQ(r.code, kOk) << r.err.toStdString();
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 7) << r.out.toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Tremolo: 3 pots, 1 switches")));
        EXPECT_TRUE(lines[4].simplified().startsWith(QStringLiteral("3 button Tap")));
        EXPECT_TRUE(lines[5].contains(QStringLiteral("Sine | Triangle | Square")));
        EXPECT_EQ(lines[6].simplified(), QStringLiteral("R0 readback LFO"));
    }
}

TEST(CatalogueCtl, ControlsFailures) {
    const struct {
        QStringList args;
        int code;
        const char* message;
    } cases[] = {
        {{QStringLiteral("0x35")}, kFailure, "\"Factory Test\""},  // the malformed descriptor
        // An effect the catalogue does not have is a usage error, as in every command.
        {{QStringLiteral("0x00")}, kUsage, "empty slot"},
        {{QStringLiteral("No Such Effect")}, kUsage, "No Such Effect"},
        {{QStringLiteral("0x40")}, kUsage, "Effect number 64 is not in the catalogue"},
        {{QStringLiteral("0x4")}, kOk, ""},
        {{}, kUsage, "usage"},
        {{QStringLiteral("1"), QStringLiteral("2")}, kUsage, "usage"},
    };
    for (const auto& c : cases) {
        const CtlRun r = run(QStringLiteral("controls"), c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
    }
}

}  // namespace
}  // namespace zendal::ctl
