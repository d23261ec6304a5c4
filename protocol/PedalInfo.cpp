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
