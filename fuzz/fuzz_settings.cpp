// The pedal's settings record: the reply to 02 N, read from the port, decoded
// from its decimal lines and spread over the settings model and the panel.
//
// Input: N (byte 0, taken modulo 17), the size of the pieces the reply arrives
// in (byte 1; 0 = whole), then the reply bytes as the pedal sends them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Log.h"
#include "fuzz/support/FuzzPort.h"
#include "fuzz/support/Verbose.h"
#include "link/FrameCodec.h"
#include "params/Assignments.h"
#include "params/PresetPlan.h"
#include "params/SettingsRecord.h"

namespace {

void applyRecord(const zendal::SettingsRecord& r) {
    using namespace zendal;
    const int n = r.paramCount;
    if (r.values.size() != n) std::abort();
    for (qint32 v : r.values) {
        if (v < 0 || v > 524287) std::abort();  // a 32-bit word shifted right by 13
    }
    const preset::ShownState shown = preset::ShownState::fromRecord(r);
    if (shown.values.size() != n || shown.assignIndex.size() != n) std::abort();

    // The list entries the appliers select must exist.
    QVector<int> assignIndices, ledIndices;
    for (int i = 0; i < n; ++i) {
        const int k = assign::assignIndexForByte(r.assignmentBytes[i]);
        if (k < 0 || k >= assign::assignTargets().size()) std::abort();
        assignIndices << k;
        (void)assign::assignText(r.assignmentBytes[i]);
        (void)reverseByteMeaning(r.reverseBytes[i]);
    }
    for (int j = 0; j < 4; ++j) {
        const int k = assign::ledIndexForByte(r.ledBytes[j]);
        if (k < 0 || k >= assign::ledTargets().size()) std::abort();
        ledIndices << k;
        (void)assign::ledText(r.ledBytes[j]);
    }
    for (std::uint8_t b : {r.bypassByte, r.presetByte}) {
        const int k = assign::functionIndexForByte(b);
        if (k < 0 || k >= assign::functionTargets().size()) std::abort();
        (void)assign::functionText(b);
    }
    const int midi = midiMenuIndex(r.midi);
    if (midi < -1 || midi > 16) std::abort();
    (void)midiChannelText(r.midi);
    (void)recordMode(r.mode);
    (void)bankCaption(r.number);
    const QString message =
        assign::assignMessage(assignIndices, ledIndices, r.bypassByte, r.presetByte);
    if (message.size() != 2 * assign::kAssignMessageBytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zendal::Log::instance().clear();  // the log keeps every line; keep memory flat
    zendal::fuzz::mirrorLogWhenAsked();
    zendal::ReceiveArray().clear();  // each run starts from no earlier reply
    zendal::fuzz::InputReader in(data, size);
    const int n = in.byte() % 17;
    const std::uint32_t slice = in.byte();
    const QByteArray reply = in.rest();

    zendal::fuzz::ScriptedDriver& port = zendal::fuzz::openScriptedPort();
    port.script(QByteArray(), false);
    port.setReadSlice(slice);
    zendal::sendSettingsRequest(n);
    port.queueNow(reply);

    const zendal::SettingsReplyResult result = zendal::receiveSettingsRecord(n);
    if (result.record) {
        if (!result.error.isEmpty()) std::abort();
        applyRecord(*result.record);
    } else if (result.error.isEmpty()) {
        std::abort();  // no record and no reason
    }
    // Any byte string decodes or is refused; it never applies half a record.
    const auto direct = zendal::decodeSettingsRecord(zendal::ReceiveArray(), n);
    if (direct) applyRecord(*direct);
    return 0;
}
