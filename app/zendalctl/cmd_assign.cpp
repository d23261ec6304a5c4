// zendalctl assign: what drives a parameter, which LED shows a readback, and
// where the bypass and preset (bank select) functions sit, in one Assign
// message as the parameter window sends it.
#include <array>

#include "app/zendalctl/Command.h"
#include "app/zendalctl/PedalEffect.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "link/FrameCodec.h"
#include "params/Assignments.h"
#include "protocol/Messages.h"

namespace zendal::ctl {
namespace {

constexpr const char* kAssignUsage =
    "assign INDEX KI|KII|KIII|KIV|KV|B1|B2|B3|FS|FL|RMT|EXP|-- | assign led INDEX "
    "SX|DX|RED|GREEN|-- | assign bypass|preset FS|FL|RMT|--";

int usage(Context& ctx) {
    ctx.err << "usage: " << kAssignUsage << "\n";
    return kUsage;
}

// What the command changes: one parameter, one LED or one function.
struct Change {
    enum class Slot { Parameter, Led, Bypass, Preset } slot = Slot::Parameter;
    int index = 0;
    int target = 0;  // entry of the slot's list
};

std::optional<Change> parse(const QStringList& args) {
    Change c;
    const QString word = args.value(0).toLower();
    QStringList rest = args;
    if (word == QLatin1String("led")) {
        c.slot = Change::Slot::Led;
        rest.removeFirst();
    } else if (word == QLatin1String("bypass")) {
        c.slot = Change::Slot::Bypass;
    } else if (word == QLatin1String("preset") || word == QLatin1String("bank")) {
        // "bank" as the settings printout names the function in bank mode.
        c.slot = Change::Slot::Preset;
    }
    if (rest.size() != 2) return std::nullopt;
    const QStringList& targets = c.slot == Change::Slot::Led         ? assign::ledTargets()
                                 : c.slot == Change::Slot::Parameter ? assign::assignTargets()
                                                                     : assign::functionTargets();
    c.target = static_cast<int>(targets.indexOf(rest[1].toUpper()));
    if (c.target < 0) return std::nullopt;
    if (c.slot == Change::Slot::Bypass || c.slot == Change::Slot::Preset) return c;
    bool ok = false;
    c.index = rest[0].toInt(&ok);
    const int slotCount = c.slot == Change::Slot::Led ? 4 : TControlDescriptor::kMaxParams;
    if (!ok || c.index < 0 || c.index >= slotCount) return std::nullopt;
    return c;
}

int runAssign(Context& ctx) {
    // What no effect takes is refused before the pedal is asked anything.
    const auto change = parse(ctx.args);
    if (!change) return usage(ctx);
    const auto effect = identify(ctx);
    if (!effect) return kFailure;
    const TControlDescriptor& d = effect->descriptor;
    if (change->slot == Change::Slot::Parameter || change->slot == Change::Slot::Led) {
        const bool led = change->slot == Change::Slot::Led;
        const int count = led ? d.readback_count : d.param_count;
        if (change->index >= count) {
            ctx.err << "zendalctl: " << effect->name << " has "
                    << (count == 0 ? QStringLiteral("no %1").arg(led ? "readbacks" : "parameters")
                                   : QStringLiteral("%1 0..%2")
                                         .arg(led ? "readbacks" : "parameters")
                                         .arg(count - 1))
                    << "\n";
            return kUsage;
        }
    }
    const auto rec = fetchRecord(ctx, d.param_count);
    if (!rec) return kFailure;
    std::uint8_t bypass = rec->bypassByte;
    std::uint8_t preset = rec->presetByte;
    if (recordMode(rec->mode) == RecordMode::Bank) {
        // In bank mode the footswitch carries bypass (FS) and bank select (FL);
        // the parameter window shows them so and sends nothing else.
        if (change->slot == Change::Slot::Bypass || change->slot == Change::Slot::Preset) {
            ctx.err << "zendalctl: in bank mode the footswitch keeps bypass on FS and bank select "
                       "on FL\n";
            return kFailure;
        }
        bypass = assign::functionByteForIndex(0);
        preset = assign::functionByteForIndex(1);
    }
    std::array<std::uint8_t, 16> parameterBytes = rec->assignmentBytes;
    std::array<std::uint8_t, 4> ledBytes = rec->ledBytes;
    const auto k = static_cast<std::size_t>(change->index);
    switch (change->slot) {
        case Change::Slot::Parameter:
            parameterBytes[k] = assign::assignByteForIndex(change->target);
            break;
        case Change::Slot::Led:
            ledBytes[k] = assign::ledByteForIndex(change->target);
            break;
        case Change::Slot::Bypass:
            bypass = assign::functionByteForIndex(change->target);
            break;
        case Change::Slot::Preset:
            preset = assign::functionByteForIndex(change->target);
            break;
    }
    QVector<int> parameters;
    for (int i = 0; i < d.param_count; ++i)
        parameters << assign::assignIndexForByte(parameterBytes[static_cast<std::size_t>(i)]);
    QVector<int> leds;
    for (int j = 0; j < d.readback_count; ++j)
        leds << assign::ledIndexForByte(ledBytes[static_cast<std::size_t>(j)]);
    const QString text = assign::assignMessage(parameters, leds, bypass, preset);
    DebugPrint(text);
    if (!SendHexMessage(text, assign::kAssignMessageBytes)) return kFailure;
    clock().pause(messages::kAssignPauseMs);
    ctx.out << text << "\n";
    return kOk;
}

const Registration assignCommand{
    {QStringLiteral("assign"), QString::fromLatin1(kAssignUsage), runAssign}};

}  // namespace
}  // namespace zendal::ctl
