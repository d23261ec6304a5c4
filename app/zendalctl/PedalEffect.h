#pragma once

#include <optional>

#include "app/zendalctl/Command.h"
#include "app/zendalctl/PedalQuery.h"
#include "effects/EffectCatalogue.h"
#include "params/ControlDescriptor.h"
#include "params/EffectDescriptor.h"
#include "params/SettingsRecord.h"

// The effect on the pedal and its settings, for the commands that work on them.
namespace zendal::ctl {

struct PedalEffect {
    PedalInfo info;
    QString name;
    TControlDescriptor descriptor;
};

// Which effect the pedal holds, and its descriptor; says why on ctx.err when
// there is none.
inline std::optional<PedalEffect> identify(Context& ctx) {
    const std::optional<PedalInfo> asked = askPedalInfo(ctx);
    if (!asked) return std::nullopt;
    PedalEffect e;
    e.info = *asked;
    if (e.info.empty) {
        ctx.err << "zendalctl: No effect found on pedal\n";
        return std::nullopt;
    }
    QString error;
    const auto name = effect_name_by_id(e.info.effect, &error);
    if (!name) {
        ctx.err << "zendalctl: " << error << "\n";
        return std::nullopt;
    }
    e.name = *name;
    if (!loadEffectDescriptor(e.name, &e.descriptor, &error)) {
        ctx.err << "zendalctl: " << error << "\n";
        return std::nullopt;
    }
    return e;
}

inline std::optional<SettingsRecord> fetchRecord(Context& ctx, int paramCount) {
    const SettingsReplyResult reply = requestSettingsRecord(*ctx.connection, paramCount);
    if (!reply.record) ctx.err << "zendalctl: " << reply.error << "\n";
    return reply.record;
}

}  // namespace zendal::ctl
