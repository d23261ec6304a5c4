#include "params/PresetPedalLoad.h"

#include "core/Log.h"
#include "link/FrameCodec.h"
#include "params/Assignments.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"

namespace zendal::preset {

PedalLoad planPedalLoad(const TControlDescriptor& d, const SettingsRecord& pedal,
                        const PresetContents& file, std::optional<FunctionBytes> functions) {
    PedalLoad load;
    load.messages = planPresetLoad(d, ShownState::fromRecord(pedal), file);

    std::array<std::uint8_t, 16> parameterBytes = pedal.assignmentBytes;
    std::array<std::uint8_t, 4> ledBytes = pedal.ledBytes;
    for (int i = 0; i < d.param_count && i < file.assignments.size(); ++i)
        parameterBytes[static_cast<std::size_t>(i)] =
            assign::assignByteForIndex(assign::assignIndexForByte(file.assignments[i]));
    for (int j = 0; j < d.readback_count && j < file.leds.size(); ++j)
        ledBytes[static_cast<std::size_t>(j)] =
            assign::ledByteForIndex(assign::ledIndexForByte(file.leds[j]));
    const FunctionBytes keep{pedal.bypassByte, pedal.presetByte};
    const FunctionBytes f = functions.value_or(keep);

    // Compared as the lists would show them: a byte the lists cannot show
    // reads as "--" on both sides.
    bool differ = f.bypass != keep.bypass || f.preset != keep.preset;
    QVector<int> parameters;
    for (int i = 0; i < d.param_count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        parameters << assign::assignIndexForByte(parameterBytes[k]);
        differ |= parameters.last() != assign::assignIndexForByte(pedal.assignmentBytes[k]);
    }
    QVector<int> leds;
    for (int j = 0; j < d.readback_count; ++j) {
        const auto k = static_cast<std::size_t>(j);
        leds << assign::ledIndexForByte(ledBytes[k]);
        differ |= leds.last() != assign::ledIndexForByte(pedal.ledBytes[k]);
    }
    if (differ) {
        const QString text = assign::assignMessage(parameters, leds, f.bypass, f.preset);
        load.messages.append({text, text, true});
        load.assigns = true;
    }
    return load;
}

bool sendPlanned(PedalConnection& connection, const QVector<PlannedMessage>& messages,
                 const std::function<void(const QString&)>& sent, QString* error) {
    for (const PlannedMessage& m : messages) {
        if (m.scrolls) {
            DebugPrint(m.logLine);
        } else {
            DebugAppend(m.logLine);
        }
        ExchangeRequest request;
        request.bytes = Hex2String(m.text);
        request.reply = ReplyKind::None;
        request.purgeTransmitFirst = false;
        if (m.text.startsWith(QStringLiteral("01")))
            request.pauseAfterWriteMs = messages::kPotPauseMs;
        else if (m.text.startsWith(QStringLiteral("04")))
            request.pauseAfterWriteMs = messages::kAssignPauseMs;
        const ExchangeResult result = connection.exchange(request);
        if (!result.ok()) {
            *error = result.outcome == ExchangeResult::Outcome::Busy
                         ? QStringLiteral("the pedal is busy with another exchange")
                         : QStringLiteral("the port failed while writing %1").arg(m.text);
            return false;
        }
        if (sent) sent(m.text);
    }
    return true;
}

}  // namespace zendal::preset
