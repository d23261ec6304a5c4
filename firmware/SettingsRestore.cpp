#include "firmware/SettingsRestore.h"

#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "link/FrameCodec.h"
#include "params/Assignments.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "params/PresetPlan.h"
#include "params/SettingsRecord.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"

namespace zendal::firmware {

namespace {

// One message as the window sends it: written as it is (nothing purged from the
// transmit queue), then the pedal's pause.
bool send(PedalConnection& connection, const QString& text, int pauseMs) {
    ExchangeRequest request;
    request.bytes = Hex2String(text);
    request.reply = ReplyKind::None;
    request.pauseAfterWriteMs = pauseMs;
    request.purgeTransmitFirst = false;
    return connection.exchange(request).ok();
}

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
    const auto plan = preset::planPresetLoad(d, preset::ShownState::fromRecord(rec), *contents);
    for (const preset::PlannedMessage& m : plan) {
        if (m.scrolls)
            DebugPrint(m.logLine);
        else
            DebugAppend(m.logLine);
        const bool pot = m.text.startsWith(QStringLiteral("01"));
        if (!send(connection, m.text, pot ? messages::kPotPauseMs : 0)) {
            result.messages << QStringLiteral(
                "The link to the pedal failed while the settings "
                "were put back.");
            return result;
        }
        ++result.sent;
    }

    QVector<int> parameters;
    bool differ = false;
    for (int i = 0; i < d.param_count; ++i) {
        const int index = assign::assignIndexForByte(contents->assignments.value(i, 0xFF));
        differ |= index != assign::assignIndexForByte(rec.assignmentBytes[std::size_t(i)]);
        parameters << index;
    }
    QVector<int> leds;
    for (int j = 0; j < d.readback_count; ++j) {
        const int index = assign::ledIndexForByte(contents->leds.value(j, 0xFF));
        differ |= index != assign::ledIndexForByte(rec.ledBytes[std::size_t(j)]);
        leds << index;
    }
    if (differ) {
        preset::logAssignments(*contents);
        const QString assignText =
            assign::assignMessage(parameters, leds, rec.bypassByte, rec.presetByte);
        DebugPrint(assignText);
        if (!send(connection, assignText.left(2 * assign::kAssignMessageBytes),
                  messages::kAssignPauseMs)) {
            result.messages << QStringLiteral(
                "The link to the pedal failed while the "
                "assignments were put back.");
            return result;
        }
        ++result.sent;
    }
    DebugPrint(QStringLiteral("settings put back from ") + presetPath);
    result.ok = true;
    return result;
}

}  // namespace zendal::firmware
