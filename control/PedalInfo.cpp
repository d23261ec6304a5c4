#include "control/PedalInfo.h"

#include "control/Messages.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "effects/EffectCatalogue.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"

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
    const int lastId = kEffectIdCount - 1;
    if (!info.empty && (info.effect < 0 || info.effect > lastId)) {
        return QStringLiteral("effect number %1 is outside the catalogue's ids 0 to %2")
            .arg(info.effect)
            .arg(lastId);
    }
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

PedalInfoReply queryPedalInfo() {
    D2XXUnit& port = d2xx();
    const QString request = messages::deviceInfoRequest();
    const int n = HexToBytes(request, static_cast<int>(request.size() / 2));
    port.PurgeFTTransmit();
    PedalInfoReply result;
    if (port.WriteFTDevice(static_cast<std::uint32_t>(n)) != static_cast<std::uint32_t>(n)) {
        result.outcome = WaitOutcome::PortError;
        return result;
    }
    clock().pause(messages::kDeviceInfoPauseMs);
    const TextReply reply = ReceiveText(timeouts::kDeviceInfoMs);
    result.reply = reply.text;
    result.outcome = reply.outcome;
    return result;
}

}  // namespace zendal
