#include "protocol/PedalInfo.h"

#include "core/Errors.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"

namespace zendal {

namespace {

int decimalField(const QString& field) {
    bool ok = false;
    const int value = field.toInt(&ok, 10);
    if (!ok) throw ConversionError(field);
    return value;
}

}  // namespace

PedalInfo parsePedalInfo(const QString& reply) {
    QString rest = reply;
    QString fields[4];
    for (QString& field : fields) {
        const auto cr = rest.indexOf(QLatin1Char('\r'));
        field = cr < 0 ? rest : rest.left(cr);
        rest.remove(0, field.size() + 2);
    }
    PedalInfo info;
    info.f1 = fields[0];
    info.f2 = fields[1];
    info.f3 = fields[2];
    info.f4 = fields[3];
    info.empty = (info.f1 == QLatin1String("255") && info.f2 == QLatin1String("255")) ||
                 (info.f1 == QLatin1String("0") && info.f2 == QLatin1String("0"));
    info.effect = decimalField(info.f2);
    info.version = decimalField(info.f3);
    info.firmware = decimalField(info.f4);
    return info;
}

std::optional<QString> implausiblePedalInfo(const PedalInfo& info) {
    constexpr int lastId = 63;  // the pedal's effect slots are ids 0..63
    if (!info.empty && (info.effect < 0 || info.effect > lastId)) {
        return QStringLiteral("effect number %1 is outside the catalogue's ids 0 to %2")
            .arg(info.effect)
            .arg(lastId);
    }
    return implausibleVersions(info);
}

std::optional<QString> implausibleVersions(const PedalInfo& info) {
    const struct {
        const char* field;
        int value;
    } bytes[] = {{"effect version", info.version}, {"firmware version", info.firmware}};
    for (const auto& b : bytes) {
        if (b.value < 0 || b.value > 255) {
            return QStringLiteral("%1 %2 is not a byte (0 to 255)")
                .arg(QLatin1String(b.field))
                .arg(b.value);
        }
    }
    return std::nullopt;
}

PedalInfoReply queryPedalInfo(PedalConnection& connection) {
    ExchangeRequest request;
    request.bytes = Hex2String(messages::deviceInfoRequest());
    request.reply = ReplyKind::Lines;
    request.lines = 4;
    request.limitMs = timeouts::kDeviceInfoMs;
    request.pauseAfterWriteMs = messages::kDeviceInfoPauseMs;
    const ExchangeResult result = connection.exchange(request);
    PedalInfoReply reply;
    reply.reply = result.text();
    reply.outcome = result.outcome;
    return reply;
}

}  // namespace zendal
