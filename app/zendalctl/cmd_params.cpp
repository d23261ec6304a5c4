// zendalctl settings / set / preset: the effect's parameters on the pedal,
// without the parameter window.
#include <array>

#include "app/zendalctl/Command.h"
#include "app/zendalctl/PedalEffect.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "link/FrameCodec.h"
#include "params/Assignments.h"
#include "params/EffectDescriptor.h"
#include "params/PanelMessages.h"
#include "params/PresetFile.h"
#include "params/PresetPedalLoad.h"
#include "params/SettingsRecord.h"
#include "protocol/Messages.h"
#include "protocol/PedalInfo.h"

namespace zendal::ctl {
namespace {

int usage(Context& ctx, const char* line) {
    ctx.err << "usage: " << line << "\n";
    return kUsage;
}

// A value in the parameter's own terms.
QString valueText(const TControlDescriptor& d, int i, qint64 value) {
    switch (d.kind(i)) {
        case TControlDescriptor::Kind::Pot:
            return QString::number(value);
        case TControlDescriptor::Kind::Switch: {
            const bool on = panel::switchOnForValue(value);
            return (on ? QStringLiteral("on (") + d.on_texts[i]
                       : QStringLiteral("off (") + d.off_texts[i]) +
                   QStringLiteral(")");
        }
        case TControlDescriptor::Kind::Button:
            return panel::switchOnForValue(value) ? QStringLiteral("on") : QStringLiteral("off");
        case TControlDescriptor::Kind::MultiSwitch: {
            const int k = panel::choiceForValue(value, d.option_counts[i]);
            return QStringLiteral("%1 (%2)").arg(k).arg(d.options[i].value(k));
        }
    }
    return {};
}

// --- settings ---

int runSettings(Context& ctx) {
    if (!ctx.args.isEmpty()) return usage(ctx, "settings");
    const auto effect = identify(ctx);
    if (!effect) return kFailure;
    const TControlDescriptor& d = effect->descriptor;
    const auto rec = fetchRecord(ctx, d.param_count);
    if (!rec) return kFailure;
    ctx.out << "effect: 0x" << hex2(effect->info.effect) << " " << effect->name << " v"
            << effect->info.version << "\n";
    for (int i = 0; i < d.param_count; ++i) {
        const ReverseByte reverse = reverseByteMeaning(rec->reverseBytes[i]);
        ctx.out << QStringLiteral("%1").arg(i, 2) << "  "
                << QStringLiteral("%1").arg(d.captions[i], -16) << "  "
                << QStringLiteral("%1").arg(controlKindName(d.kind(i)), -6) << "  "
                << QStringLiteral("%1").arg(valueText(d, i, rec->values[i]), -20) << "  "
                << QStringLiteral("%1").arg(assign::assignText(rec->assignmentBytes[i]), -4) << "  "
                << (reverse == ReverseByte::On    ? "reversed"
                    : reverse == ReverseByte::Off ? "normal"
                                                  : "unknown")
                << "\n";
    }
    const bool bank = recordMode(rec->mode) == RecordMode::Bank;
    ctx.out << "bypass: " << assign::functionText(rec->bypassByte) << "\n";
    ctx.out << (bank ? "bank select: " : "preset change: ") << assign::functionText(rec->presetByte)
            << "\n";
    for (int j = 0; j < d.readback_count; ++j)
        ctx.out << "LED " << d.readback_names[j] << ": " << assign::ledText(rec->ledBytes[j])
                << "\n";
    switch (recordMode(rec->mode)) {
        case RecordMode::Bank:
            ctx.out << "mode: bank, " << bankCaption(rec->number) << " (" << rec->number << ")\n";
            break;
        case RecordMode::Preset:
            ctx.out << "mode: preset, preset " << rec->number << "\n";
            break;
        case RecordMode::Other:
            ctx.out << "mode: unknown (" << rec->mode << ")\n";
            break;
    }
    ctx.out << "MIDI channel: " << midiChannelText(rec->midi) << "\n";
    return kOk;
}

// --- set ---

int runSet(Context& ctx) {
    const char* line = "set INDEX VALUE (pot 0..1023, switch/button 0|1, multi choice index)";
    if (ctx.args.size() != 2) return usage(ctx, line);
    bool okIndex = false;
    bool okValue = false;
    const int index = ctx.args[0].toInt(&okIndex);
    const int value = ctx.args[1].toInt(&okValue);
    if (!okIndex || !okValue) return usage(ctx, line);
    // What no effect accepts is refused before the pedal is asked anything.
    if (index < 0 || index >= TControlDescriptor::kMaxParams || value < 0 || value > panel::kPotMax)
        return usage(ctx, line);
    const auto effect = identify(ctx);
    if (!effect) return kFailure;
    const TControlDescriptor& d = effect->descriptor;
    if (index < 0 || index >= d.param_count) {
        ctx.err << "zendalctl: " << effect->name << " has parameters 0.." << d.param_count - 1
                << "\n";
        return kUsage;
    }
    std::uint32_t sent = 0;
    int limit = 0;
    switch (d.kind(index)) {
        case TControlDescriptor::Kind::Pot:
            limit = panel::kPotMax;
            sent = static_cast<std::uint32_t>(value);
            break;
        case TControlDescriptor::Kind::Switch:
        case TControlDescriptor::Kind::Button:
            limit = 1;
            sent = panel::switchValue(value == 1);
            break;
        case TControlDescriptor::Kind::MultiSwitch:
            limit = d.option_counts[index] - 1;
            sent = panel::multiValue(value, d.option_counts[index]);
            break;
    }
    if (value < 0 || value > limit) {
        ctx.err << "zendalctl: parameter " << index << " (" << controlKindName(d.kind(index))
                << ") takes 0.." << limit << "\n";
        return kUsage;
    }
    const QString text = panel::parameterMessage(d.param_addresses[index], sent);
    DebugPrint(QStringLiteral("data sent parameter %1: %2").arg(index).arg(text));
    if (!SendHexMessage(text, 7)) return kFailure;
    clock().pause(messages::kPotPauseMs);
    ctx.out << text << "\n";
    return kOk;
}

// --- preset ---

int presetSave(Context& ctx, const QString& path) {
    const auto effect = identify(ctx);
    if (!effect) return kFailure;
    const TControlDescriptor& d = effect->descriptor;
    const auto rec = fetchRecord(ctx, d.param_count);
    if (!rec) return kFailure;
    TParameterSettings s;
    s.param_values = rec->values;
    for (int i = 0; i < d.param_count; ++i) {
        s.assignments[i] =
            assign::assignByteForIndex(assign::assignIndexForByte(rec->assignmentBytes[i]));
        s.reverse_flags[i] = reverseByteMeaning(rec->reverseBytes[i]) == ReverseByte::On;
    }
    for (int j = 0; j < d.readback_count; ++j)
        s.led_assignments[j] = assign::ledByteForIndex(assign::ledIndexForByte(rec->ledBytes[j]));
    const QString text = preset::composePresetText(effect->info.effect, effect->info.version, s,
                                                   d.param_count, d.readback_count);
    QString error;
    if (!preset::writePresetFile(path, text, &error)) {
        ctx.err << "zendalctl: Error saving file: " << error << "\n";
        return kFailure;
    }
    ctx.out << "File saved successfully: " << path << "\n";
    return kOk;
}

int presetLoad(Context& ctx, const QString& path) {
    QString text;
    QString error;
    if (!preset::readPresetFile(path, &text, &error)) {
        ctx.err << "zendalctl: Error loading file: " << error << "\n";
        return kFailure;
    }
    const auto effect = identify(ctx);
    if (!effect) return kFailure;
    const TControlDescriptor& d = effect->descriptor;
    const preset::HeaderCheck header = preset::checkHeader(
        text, {effect->info.effect, effect->info.version, d.param_count, d.readback_count});
    if (!header.ok) {
        for (const QString& message : header.messages) ctx.err << "zendalctl: " << message << "\n";
        return kFailure;
    }
    const auto contents = preset::readBody(text, d, &error);
    if (!contents) {
        ctx.err << "zendalctl: " << error << "\n";
        return kFailure;
    }
    const auto rec = fetchRecord(ctx, d.param_count);
    if (!rec) return kFailure;
    // Assignments and LEDs travel in one Assign message; sent only when the
    // file's differ from the pedal's.
    const preset::PedalLoad load = preset::planPedalLoad(d, *rec, *contents);
    if (!preset::sendPlanned(
            *ctx.connection, load.messages, [&](const QString& text) { ctx.out << text << "\n"; },
            &error)) {
        ctx.err << "zendalctl: " << error << "\n";
        return kFailure;
    }
    ctx.out << load.messages.size()
            << " message(s) sent: values and reverse as the file holds them, assignments and LEDs "
            << (load.assigns ? "assigned" : "already as the file holds them") << "\n";
    return kOk;
}

int runPreset(Context& ctx) {
    const char* line = "preset save|load FILE";
    if (ctx.args.size() != 2 || ctx.args[1].isEmpty()) return usage(ctx, line);
    if (ctx.args[0] == QLatin1String("save")) return presetSave(ctx, ctx.args[1]);
    if (ctx.args[0] == QLatin1String("load")) return presetLoad(ctx, ctx.args[1]);
    return usage(ctx, line);
}

const Registration settingsCommand{
    {QStringLiteral("settings"), QStringLiteral("settings"), runSettings}};
const Registration setCommand{{QStringLiteral("set"), QStringLiteral("set INDEX VALUE"), runSet}};
const Registration presetCommand{
    {QStringLiteral("preset"), QStringLiteral("preset save|load FILE"), runPreset}};

}  // namespace
}  // namespace zendal::ctl
