// zendalctl ir: prepares an impulse-response effect image from a WAV file,
// exactly as "Load IR" does, without a pedal.
#include "app/zendalctl/Command.h"
#include "core/FileIo.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "effects/ImpulseResponse.h"

namespace zendal::ctl {
namespace {

// EFFECT: the display name (any case), its resource name, or its id (0x2B, 2B).
std::optional<IrLayout> findIrEffect(const QString& text) {
    QString digits = text;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) digits = digits.mid(2);
    bool isNumber = false;
    const int id = digits.toInt(&isNumber, 16);
    for (const IrLayout& l : irLayouts()) {
        if (l.displayName.compare(text, Qt::CaseInsensitive) == 0 ||
            format_resource_name(l.displayName).compare(text, Qt::CaseInsensitive) == 0 ||
            (isNumber && id == l.effectId))
            return l;
    }
    return std::nullopt;
}

int runIr(Context& c) {
    QString outPath;
    QStringList positional;
    for (int i = 0; i < c.args.size(); ++i) {
        if (c.args[i] == QLatin1String("--out")) {
            if (i + 1 >= c.args.size() || c.args[i + 1].isEmpty()) {
                c.err << "ir: --out needs a file name\n";
                return kUsage;
            }
            outPath = c.args[++i];
        } else {
            positional << c.args[i];
        }
    }
    if (positional.size() != 2) {
        c.err << "usage: zendalctl ir EFFECT WAV [--out FILE]\n";
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

    const IrImport import = prepareImpulseResponse(positional[1], layout->displayName);
    for (const QString& line : import.log) DebugPrint(line);
    if (!import.ok()) {
        c.err << "ir: " << import.error << "\n";
        return kFailure;
    }

    QString summary = import.summary;
    summary.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (outPath.isEmpty()) {
        c.out << import.image << "\n";
        c.err << summary << "\n";
        return kOk;
    }
    QString error;
    if (!fileio::saveFile(outPath, import.image.toLatin1(), &error)) {
        c.err << "ir: cannot write \"" << outPath << "\": " << error << "\n";
        return kFailure;
    }
    c.out << summary << "\n"
          << "Image for \"" << layout->displayName << "\" (" << import.image.size() / 2
          << " bytes) written to " << outPath << "\n";
    return kOk;
}

const Registration kIr({QStringLiteral("ir"), QStringLiteral("ir EFFECT WAV [--out FILE]"), runIr});

}  // namespace
}  // namespace zendal::ctl
