// The receive tick: reads what the pedal sent on its own and dispatches it.
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "control/ui/TformMain.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "shell/Prompt.h"

namespace zendal {

namespace {
// Clears the re-entrancy flag however the tick ends (a box shown inside the
// tick runs the event loop, and with it further ticks).
struct TickGuard {
    bool& flag;
    explicit TickGuard(bool& f) : flag(f) { flag = true; }
    ~TickGuard() { flag = false; }
};
}  // namespace

void TformMain::PollPedal() {
    lastPollRead_ = 0;
    if (polling_ || connection_.busy()) return;
    TickGuard guard(polling_);
    D2XXUnit& port = connection_.unit();
    port.ShowFTErrors = false;

    bool handled = releaseStalePiece();
    if (port.GetFTQueueStatus() != FT_OK) {
        if (handled) port.ShowFTErrors = true;
        // An open port that fails under the tick has lost its device: the
        // cable was pulled. Said once, in the label, not in a box per tick.
        if (port.isOpen()) pedalUnplugged();
        return;
    }
    const std::uint32_t n = port.ReadFTDevice();
    if (n % 65536 == 0) {
        if (handled) port.ShowFTErrors = true;
        return;
    }
    lastPollRead_ = int(n);
    QByteArray bytes(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()), int(n));
    // Messages that arrived together are handled one by one, in order. Only
    // when the read ends inside a message does the tick wait for its rest.
    const bool wasHolding = framer_.holding();
    QList<QByteArray> messages = framer_.feed(bytes);
    if (framer_.holding()) {
        QByteArray rest;
        gatherRestOfMessage(&rest);
        messages += framer_.feed(rest);
        bytes += rest;
    }
    DebugPrint(QStringLiteral("Data(ASCII): ") + incoming::asciiText(bytes));
    // The line has gone quiet: a run without a fixed end is complete too.
    messages += framer_.flush();
    if (framer_.holding() && (!wasHolding || !messages.isEmpty())) heldSinceMs_ = clock().nowMs();
    handled = true;
    for (const QByteArray& message : messages) handled = handleMessage(message) && handled;
    // A number that is not one leaves the port's failures unreported until a
    // later tick completes.
    if (handled) port.ShowFTErrors = true;
}

bool TformMain::releaseStalePiece() {
    if (!framer_.holding()) return true;
    const bool dump = framer_.holdingDump();
    const int limit = dump ? timeouts::kEepromDumpMs : PedalConnection::kPieceLimitMs;
    if (clock().nowMs() - heldSinceMs_ < limit) return true;
    if (dump) {
        const int got = framer_.heldBytes() - 1;
        framer_.reset();
        const QString text =
            QStringLiteral(
                "The pedal's settings memory dump is incomplete: %1 of %2 bytes arrived.")
                .arg(got)
                .arg(incoming::kDumpDataBytes);
        DebugPrint(text);
        prompt().information(text);
        return true;
    }
    // The rest of the message never came: it is read as it stands.
    bool handled = true;
    for (const QByteArray& message : framer_.flush(true))
        handled = handleMessage(message) && handled;
    return handled;
}

bool TformMain::handleMessage(const QByteArray& bytes) {
    incoming::Message message;
    try {
        message = incoming::classify(bytes);
    } catch (const ConversionError& e) {
        prompt().information(e.message());
        return false;
    }

    if (message.number == incoming::Message::Number::Bank) {
        ShowBankFromPedal(message.value);
    } else if (message.number == incoming::Message::Number::Effect) {
        ShowEffectFromPedal(message.value);
    }

    if (message.answer != incoming::Message::Answer::None) {
        lblStatus->setText(incoming::statusText(message));
        if (!TimerAutoRequest->isActive()) TimerAutoRequest->start();
        TimerUploadAnswer->stop();
        uploadPending_ = false;
        if (message.answer != incoming::Message::Answer::Unknown) EnableEditorObjects(true);
    }

    EnableEditorObjects(true);
    if (message.controlReport) {
        // A report too short to name a control and a value moves nothing.
        if (bytes.size() >= 5) device_.reportControl(bytes);
    } else if (message.dump) {
        DumpCheck(bytes);
    }
    return true;
}

void TformMain::gatherRestOfMessage(QByteArray* bytes) {
    // A message may reach the port in two USB transfers; what follows within
    // a few quiet milliseconds belongs to it. Bounded, so a dump that streams
    // for a second is collected over several ticks instead.
    D2XXUnit& port = connection_.unit();
    Clock& c = clock();
    const qint64 end = c.nowMs() + timeouts::kMessageGatherMs;
    int quiet = 0;
    while (quiet < timeouts::kMessageQuietMs && c.nowMs() < end &&
           bytes->size() < qsizetype(D2XXUnit::kBufferSize)) {
        c.pause(1);
        if (port.GetFTQueueStatus() != FT_OK || port.FTQueueCount == 0) {
            ++quiet;
            continue;
        }
        const std::uint32_t more = port.ReadFTDevice();
        bytes->append(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()), int(more));
        quiet = 0;
    }
}

void TformMain::DumpCheck(const QByteArray& message) {
    for (const QString& line : incoming::dumpLogLines(message)) DebugPrint(line);
    if (incoming::dumpIsErased(message)) prompt().information(QStringLiteral("Memory Erased"));
}

void TformMain::ShowBankFromPedal(int bank) {
    if (bank >= 0 && bank <= 2) rdbtnBank[bank]->setChecked(true);
}

void TformMain::ShowEffectFromPedal(int number) {
    QString error;
    const auto entry = effect_list_entry(number, &error);
    if (!entry) {
        DebugPrint(error);
        prompt().information(
            QStringLiteral(
                "The pedal switched to effect number %1, which is not in the editor's effect list.")
                .arg(number));
        return;
    }
    device_.setPedalEffectName(entry->displayName);
    DebugPrint(QStringLiteral("effect from list: ") + device_.pedalEffectName());
    // The pedal runs another effect now: its number and version are what a
    // preset file is labelled with and checked against.
    device_.setPedalEffectNumber(number);
    refreshPedalEffectVersion(number);
    device_.setSelectedEffect(device_.pedalEffectName(), true);
    btnRequest->setEnabled(true);
    btnRequest->setFocus();
    openParameterWindow(device_.pedalEffectName() + QStringLiteral(" v") +
                            QString::number(device_.pedalEffectVersion()),
                        -1, true);
    btnRequest->setEnabled(true);
    findPedalEffectInCategories(false);
}

void TformMain::refreshPedalEffectVersion(int number) {
    // The switch message names the effect but not its version: ask.
    const PedalInfoReply reply = queryPedalInfo(connection_);
    if (reply.ok()) {
        try {
            const PedalInfo info = parsePedalInfo(reply.reply);
            if (info.effect == number) {
                device_.setPedalEffectVersion(info.version);
                return;
            }
        } catch (const ConversionError&) {
        }
    }
    DebugPrint(QStringLiteral("version of effect %1 not known").arg(number));
}

void TformMain::uploadAnswerTimedOut() {
    if (!uploadPending_) return;
    uploadPending_ = false;
    DebugPrint(QStringLiteral("no answer to the upload within %1 s")
                   .arg(TimerUploadAnswer->interval() / 1000));
    lblStatus->setText(QStringLiteral("No answer from the pedal"));
    EnableEditorObjects(true);
}

}  // namespace zendal
