#include "firmware/BootloaderLine.h"

#include <QCoreApplication>
#include <algorithm>

#include "core/Clock.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"

namespace zendal::firmware {

namespace {

// Bytes still arriving this long after the limit do not hold the wait open.
constexpr int kLastPauseMs = 100;

void processPendingEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

}  // namespace

WaitOutcome waitForFirstByte(D2XXUnit& port, int limitMs) {
    Clock& c = clock();
    const qint64 deadline = c.nowMs() + limitMs;
    for (;;) {
        processPendingEvents();
        if (port.GetFTQueueStatus() != FT_OK) return WaitOutcome::PortError;
        if (port.FTQueueCount > 0) return WaitOutcome::Ok;
        const qint64 now = c.nowMs();
        if (now >= deadline) return WaitOutcome::TimedOut;
        const int fd = port.readyFd();
        const int slice =
            fd >= 0 ? static_cast<int>(deadline - now)
                    : std::min<int>(timeouts::kPollSliceMs, static_cast<int>(deadline - now));
        c.waitForActivity(slice, fd);
    }
}

TextReply receiveFirstByte(D2XXUnit& port, int limitMs) {
    TextReply reply;
    const qint64 end = clock().nowMs() + limitMs + kLastPauseMs;
    reply.outcome = waitForFirstByte(port, limitMs);
    if (!reply.ok()) return reply;
    QString hexText;
    std::uint32_t total = 0;
    for (;;) {
        processPendingEvents();
        const std::uint32_t n = port.ReadFTDevice();
        if (n == 0) break;
        // A line that keeps talking cannot hold the wait open.
        if (clock().nowMs() >= end) reply.outcome = WaitOutcome::TimedOut;
        hexText += BytesToHex(
            QByteArray(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()), int(n)));
        total += n;
        if (!reply.ok()) break;
    }
    DebugPrint(QStringLiteral("num of bytes received: %1").arg(total));
    DebugPrint(QStringLiteral("stringa_totale: ") + hexText);
    port.PurgeFTReceive();
    reply.text = hexText.left(2);
    return reply;
}

}  // namespace zendal::firmware
