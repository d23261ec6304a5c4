#include "params/SettingsRecord.h"

#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Log.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalSequences.h"

namespace zendal {

TParameterSettings& parameterSettings() {
    static TParameterSettings settings;
    return settings;
}

std::optional<SettingsRecord> decodeSettingsRecord(const QVector<std::uint8_t>& bytes,
                                                   int paramCount) {
    if (paramCount < 0 || paramCount > 16) return std::nullopt;
    if (bytes.size() < SettingsRecord::length(paramCount)) return std::nullopt;
    const int n = paramCount;
    SettingsRecord r;
    r.paramCount = n;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t word =
            (std::uint32_t(bytes[4 * i]) << 24) | (std::uint32_t(bytes[4 * i + 1]) << 16) |
            (std::uint32_t(bytes[4 * i + 2]) << 8) | std::uint32_t(bytes[4 * i + 3]);
        r.values.append(static_cast<qint32>(word >> 13));
    }
    for (int i = 0; i < 16; ++i) {
        r.assignmentBytes[i] = bytes[SettingsRecord::assignmentsAt(n) + i];
        r.reverseBytes[i] = bytes[SettingsRecord::reverseAt(n) + i];
    }
    for (int j = 0; j < 4; ++j) r.ledBytes[j] = bytes[SettingsRecord::ledsAt(n) + j];
    r.bypassByte = bytes[SettingsRecord::bypassAt(n)];
    r.presetByte = bytes[SettingsRecord::presetAt(n)];
    r.mode = bytes[SettingsRecord::modeAt(n)];
    r.number = bytes[SettingsRecord::numberAt(n)];
    r.midi = bytes[SettingsRecord::midiAt(n)];
    return r;
}

ReverseByte reverseByteMeaning(std::uint8_t byte) {
    if (byte == 0x01) return ReverseByte::On;
    if (byte == 0xFF) return ReverseByte::Off;
    return ReverseByte::Unchanged;
}

RecordMode recordMode(std::uint8_t byte) {
    if (byte == 1) return RecordMode::Bank;
    if (byte == 0) return RecordMode::Preset;
    return RecordMode::Other;
}

int midiMenuIndex(std::uint8_t byte) {
    if (byte == 0 || byte == 0xFF) return 0;
    if (byte <= 16) return byte;
    return -1;
}

QString midiChannelText(std::uint8_t byte) {
    const int index = midiMenuIndex(byte);
    if (index == 0) return QStringLiteral("OMNI");
    if (index > 0) return QString::number(index);
    return QStringLiteral("none");
}

QString bankCaption(int number) {
    switch (number) {
        case 0:
            return QStringLiteral("Bank I");
        case 1:
            return QStringLiteral("Bank II");
        case 2:
            return QStringLiteral("Bank III");
        default:
            return {};
    }
}

bool sendSettingsRequest(int paramCount) {
    const bool sent = SendHexMessage(messages::settingsRequest(paramCount), 2, true);
    clock().pause(messages::kSettingsRequestPauseMs);
    return sent;
}

namespace {

void recordFromReceiveArray(int fields, int paramCount, SettingsReplyResult* result) {
    // With no field decoded, ReceiveArray still holds an earlier reply.
    result->received = fields;
    const int needed = SettingsRecord::length(paramCount);
    if (fields > 0) result->record = decodeSettingsRecord(ReceiveArray(), paramCount);
    if (!result->record) {
        result->error = QStringLiteral(
                            "The pedal's settings reply was incomplete (%1 of %2 bytes); "
                            "nothing was applied.")
                            .arg(fields)
                            .arg(needed);
    }
}

}  // namespace

SettingsReplyResult receiveSettingsRecord(int paramCount) {
    SettingsReplyResult result;
    SettingsReply reply;
    try {
        reply = ReceiveSettingsReply(timeouts::kSettingsReplyMs);
    } catch (const ConversionError& e) {
        result.error =
            QStringLiteral("The pedal's settings reply could not be read: ") + e.message();
        return result;
    }
    switch (reply.outcome) {
        case WaitOutcome::TimedOut:
            result.error = QStringLiteral("The pedal did not answer the settings request.");
            return result;
        case WaitOutcome::PortError:
            result.error =
                QStringLiteral("The link to the pedal failed during the settings request.");
            return result;
        case WaitOutcome::Ok:
            break;
    }
    recordFromReceiveArray(reply.fields, paramCount, &result);
    return result;
}

SettingsReplyResult requestSettingsRecord(PedalConnection& connection, int paramCount) {
    SettingsReplyResult result;
    const ExchangeResult reply = sequences::requestSettings(connection, paramCount);
    switch (reply.outcome) {
        case ExchangeResult::Outcome::TimedOut:
            result.error = QStringLiteral("The pedal did not answer the settings request.");
            return result;
        case ExchangeResult::Outcome::Unplugged:
            result.error =
                QStringLiteral("The link to the pedal failed during the settings request.");
            return result;
        case ExchangeResult::Outcome::Busy:
            result.error = QStringLiteral(
                "The pedal was answering another request; the settings were not asked.");
            return result;
        case ExchangeResult::Outcome::Reply:
            break;
    }
    int fields = 0;
    try {
        fields = DecodeReply(reply.bytes);
    } catch (const ConversionError& e) {
        result.error =
            QStringLiteral("The pedal's settings reply could not be read: ") + e.message();
        return result;
    }
    recordFromReceiveArray(fields, paramCount, &result);
    return result;
}

}  // namespace zendal
