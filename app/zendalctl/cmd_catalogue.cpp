// zendalctl effects / controls: the catalogue as the editor reads it. No device needed.
#include <QRegularExpression>

#include "app/zendalctl/Command.h"
#include "app/zendalctl/EffectArgument.h"
#include "core/Hex.h"
#include "effects/EffectCatalogue.h"
#include "params/DescriptorParser.h"
#include "resources/ResourceStore.h"

namespace zendal::ctl {
namespace {

// The display name of EFFECT as the user gave it.
std::optional<QString> resolveEffect(const QString& argument, QString* error) {
    const auto id = parseEffectArgument(argument, error);
    if (!id) return std::nullopt;
    return effect_name_by_id(*id, error);
}

int runEffects(Context& ctx) {
    if (!ctx.args.isEmpty()) {
        ctx.err << "usage: effects\n";
        return kUsage;
    }
    for (int id = 1; id < kEffectIdCount; ++id) {
        QString error;
        const auto name = effect_name_by_id(id, &error);
        if (!name) {
            ctx.err << error << "\n";
            return kFailure;
        }
        const int size = get_effect_size(*name, &error);
        const QString category = categoryOf(*name).value_or(QStringLiteral("-"));
        ctx.out << hex2(id) << "  " << QStringLiteral("%1").arg(category, -16) << "  "
                << QStringLiteral("%1").arg(size < 0 ? QStringLiteral("?") : QString::number(size),
                                            5)
                << "  " << *name << "\n";
    }
    ctx.err << "catalogue: " << ResourceStore::instance().origin() << "\n";
    return kOk;
}

QString choicesOf(const TControlDescriptor& d, int index) {
    switch (d.kind(index)) {
        case TControlDescriptor::Kind::Switch:
            return d.off_texts[index] + QStringLiteral(" / ") + d.on_texts[index];
        case TControlDescriptor::Kind::MultiSwitch:
            return d.options[index].join(QStringLiteral(" | "));
        default:
            return QStringLiteral("-");
    }
}

int runControls(Context& ctx) {
    if (ctx.args.size() != 1) {
        ctx.err << "usage: controls EFFECT   (EFFECT: display or resource name, or id such as 0x26 "
                   "or 26)\n";
        return kUsage;
    }
    QString error;
    const auto name = resolveEffect(ctx.args.first(), &error);
    if (!name) {
        ctx.err << "zendalctl: " << error << "\n";
        return kUsage;  // an effect the catalogue does not have is a usage error
    }
    TControlDescriptor d;
    if (!loadDescriptorForEffect(*name, &d, &error)) {
        ctx.err << error << "\n";
        return kFailure;
    }
    ctx.out << *name << ": " << d.pot_count << " pots, " << d.switch_count << " switches, "
            << d.multi_count << " multi-switches, " << d.readback_count << " readbacks\n";
    for (int i = 0; i < d.param_count; ++i) {
        ctx.out << QStringLiteral("%1  %2  %3  %4  %5\n")
                       .arg(i, 2)
                       .arg(controlKindName(d.kind(i)), -6)
                       .arg(d.captions[i], -20)
                       .arg(choicesOf(d, i), -28)
                       .arg(d.param_addresses[i]);
    }
    for (int j = 0; j < d.readback_count; ++j) {
        ctx.out << QStringLiteral("R%1  readback  %2\n").arg(j).arg(d.readback_names[j]);
    }
    return kOk;
}

const Registration effectsCommand({QStringLiteral("effects"), QStringLiteral("effects"),
                                   runEffects});
const Registration controlsCommand({QStringLiteral("controls"), QStringLiteral("controls EFFECT"),
                                    runControls});

}  // namespace
}  // namespace zendal::ctl
