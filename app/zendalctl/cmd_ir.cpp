// zendalctl ir: prepares an impulse-response effect image from a WAV file,
// exactly as "Load IR" does, without a pedal; optionally draws its plots.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include "app/zendalctl/Command.h"
#include "app/zendalctl/EffectArgument.h"
#include "core/FileIo.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "effects/ImpulseResponse.h"
#include "effects/IrPlots.h"

namespace zendal::ctl {
namespace {

const char kIrUsage[] =
    "ir EFFECT WAV [--channel left|right|mid] [--normalize] [--out FILE] [--plot FILE.png]";

std::optional<IrLayout> findIrEffect(const QString& text) {
    QString error;
    const auto id = parseEffectArgument(text, &error);
    if (!id) return std::nullopt;
    for (const IrLayout& l : irLayouts()) {
        if (l.effectId == *id) return l;
    }
    return std::nullopt;
}

// The plots as a PNG file, written whole or not at all.
bool writePlot(const IrImport& import, const QString& path, QString* error) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        *error = QStringLiteral("drawing needs a graphical application (none was started)");
        return false;
    }
    const QImage image = renderIrPlots(irPlotData(import.prepared));
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        *error = QStringLiteral("the picture could not be encoded");
        return false;
    }
    // Through the careful save: a device node or a link is never replaced.
    return fileio::saveFile(path, png, error);
}

int runIr(Context& c) {
    QString outPath, plotPath;
    IrOptions options;
    QStringList positional;
    for (int i = 0; i < c.args.size(); ++i) {
        const QString& a = c.args[i];
        const bool takesValue = a == QLatin1String("--out") || a == QLatin1String("--plot") ||
                                a == QLatin1String("--channel");
        if (takesValue && (i + 1 >= c.args.size() || c.args[i + 1].isEmpty())) {
            c.err << "ir: " << a << " needs a value\n";
            return kUsage;
        }
        if (a == QLatin1String("--out")) {
            outPath = c.args[++i];
        } else if (a == QLatin1String("--plot")) {
            plotPath = c.args[++i];
        } else if (a == QLatin1String("--channel")) {
            const auto channel = irChannelFromName(c.args[++i]);
            if (!channel) {
                c.err << "ir: --channel takes left, right or mid, not \"" << c.args[i] << "\"\n";
                return kUsage;
            }
            options.channel = *channel;
        } else if (a == QLatin1String("--normalize")) {
            options.normalize = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            c.err << "ir: unknown option " << a << "\n";
            return kUsage;
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) {
        c.err << "usage: zendalctl " << kIrUsage << "\n";
        return kUsage;
    }
    if (positional[1].isEmpty()) {
        c.err << "ir: the WAV file name is empty\n";
        return kUsage;
    }
    const auto layout = findIrEffect(positional[0]);
    if (!layout) {
        c.err << "ir: \"" << positional[0]
              << "\" is not an impulse-response effect. Choose one of:";
        for (const IrLayout& l : irLayouts())
            c.err << " \"" << l.displayName << "\" (0x" << QString::number(l.effectId, 16).toUpper()
                  << ")";
        c.err << "\n";
        return kUsage;
    }

    const IrImport import =
        prepareImpulseResponse(positional[1], layout->displayName, std::nullopt, options);
    for (const QString& line : import.log) DebugPrint(line);
    if (!import.ok()) {
        c.err << "ir: " << import.error << "\n";
        return kFailure;
    }

    QString facts = import.summary;
    facts.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    facts += QStringLiteral("\nWhat will be done:\n  ") + import.steps.join(QStringLiteral("\n  "));
    QTextStream& report = outPath.isEmpty() ? c.err : c.out;
    if (!plotPath.isEmpty()) {
        QString error;
        if (!writePlot(import, plotPath, &error)) {
            c.err << "ir: cannot write the plots to \"" << plotPath << "\": " << error << "\n";
            return kFailure;
        }
    }
    if (outPath.isEmpty()) {
        c.out << import.image << "\n";
    } else {
        QString error;
        if (!fileio::saveFile(outPath, import.image.toLatin1(), &error)) {
            c.err << "ir: cannot write \"" << outPath << "\": " << error << "\n";
            return kFailure;
        }
    }
    report << facts << "\n";
    if (!plotPath.isEmpty()) report << "Plots written to " << plotPath << "\n";
    if (!outPath.isEmpty())
        report << "Image for \"" << layout->displayName << "\" (" << import.image.size() / 2
               << " bytes) written to " << outPath << "\n";
    return kOk;
}

const Registration kIr({QStringLiteral("ir"), QString::fromLatin1(kIrUsage), runIr});

}  // namespace
}  // namespace zendal::ctl
