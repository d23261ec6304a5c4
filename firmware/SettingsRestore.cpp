#include "firmware/SettingsRestore.h"

#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "params/PresetPedalLoad.h"
#include "params/SettingsRecord.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"

namespace zendal::firmware {

namespace {

RestoreResult refused(const QStringList& messages) {
    RestoreResult r;
    r.messages = messages;
    for (const QString& m : messages) DebugPrint(QStringLiteral("settings not put back: ") + m);
    return r;
}

}  // namespace

RestoreOffer restoreOffer(const UpgradeBackup& backup, const PedalInfo& now) {
    if (backup.presetFile.isEmpty() || now.empty || backup.effect != now.effect)
        return RestoreOffer::None;
    return backup.effectVersion == now.version ? RestoreOffer::Offer : RestoreOffer::VersionChanged;
}

RestoreResult restoreEffectSettings(PedalConnection& connection, const QString& presetPath,
                                    const PedalInfo& now) {
    QString text;
    QString error;
    if (!preset::readPresetFile(presetPath, &text, &error))
        return refused({QStringLiteral("Error loading file: ") + error});
    DebugPrint(text);
    if (now.empty) return refused({QStringLiteral("The pedal holds no effect.")});
    const auto effect = effect_name_by_id(now.effect, &error);
    if (!effect) return refused({error});
    TControlDescriptor d;
    if (!loadEffectDescriptor(*effect, &d, &error)) return refused({error});

    const preset::HeaderCheck header =
        preset::checkHeader(text, {now.effect, now.version, d.param_count, d.readback_count});
    if (!header.ok) return refused(header.messages);
    const auto contents = preset::readBody(text, d, &error);
    if (!contents) return refused({error});

    // Only what differs from the pedal's present settings is sent.
    const SettingsReplyResult present = requestSettingsRecord(connection, d.param_count);
    if (!present.record) return refused({present.error});
    const SettingsRecord& rec = *present.record;

    RestoreResult result;
    preset::logValues(*contents);
    const preset::PedalLoad load = preset::planPedalLoad(d, rec, *contents);
    if (load.assigns) preset::logAssignments(*contents);
    QString why;
    if (!preset::sendPlanned(
            connection, load.messages, [&](const QString&) { ++result.sent; }, &why)) {
        result.messages << QStringLiteral(
                               "The link to the pedal failed while the settings were put back: ") +
                               why;
        return result;
    }
    DebugPrint(QStringLiteral("settings put back from ") + presetPath);
    result.ok = true;
    return result;
}

}  // namespace zendal::firmware
