// The receive tick: reads what the pedal sent on its own and dispatches it.
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "control/ui/TformMain.h"
#include "core/Clock.h"
#include "core/EditorState.h"
#include "core/Errors.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"
#include "params/ui/TformFXParameters.h"
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
    if (polling_) return;
    TickGuard guard(polling_);
    D2XXUnit& port = d2xx();
    port.ShowFTErrors = false;

    if (dump_.expired(clock().nowMs())) {
        const int got = dump_.receivedDataBytes();
        dump_.reset();
        const QString text =
            QStringLiteral(
                "The pedal's settings memory dump is incomplete: %1 of %2 bytes arrived.")
                .arg(got)
                .arg(incoming::kDumpDataBytes);
        DebugPrint(text);
        prompt().information(text);
    }

    if (port.GetFTQueueStatus() != FT_OK) {
        port.ShowFTErrors = true;
        return;
    }
    const std::uint32_t n = port.ReadFTDevice();
    if (n % 65536 == 0) {
        port.ShowFTErrors = true;
        return;
    }
    lastPollRead_ = int(n);
    QByteArray bytes(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()), int(n));
    gatherRestOfMessage(&bytes);
    DebugPrint(QStringLiteral("Data(ASCII): ") + incoming::asciiText(bytes));

    if (dump_.active()) {
        // The rest of a dump that began in an earlier read.
        handleDumpBytes(bytes);
        port.ShowFTErrors = true;
        return;
    }

    incoming::Message message;
    try {
        message = incoming::classify(bytes);
    } catch (const ConversionError& e) {
        prompt().information(e.message());
        return;
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
        if (params_ && params_->isBuilt() && bytes.size() >= 5) params_->ApplyControlReport(bytes);
    } else if (message.dump) {
        handleDumpBytes(bytes);
    }
    port.ShowFTErrors = true;
}

void TformMain::gatherRestOfMessage(QByteArray* bytes) {
    // A message may reach the port in two USB transfers; what follows within
    // a few quiet milliseconds belongs to it. Bounded, so a dump that streams
    // for a second is collected over several ticks instead.
    D2XXUnit& port = d2xx();
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

void TformMain::handleDumpBytes(QByteArray bytes) {
    while (!bytes.isEmpty()) {
        if (!dump_.active()) {
            if (static_cast<std::uint8_t>(bytes.at(0)) != incoming::kDump) return;
            dump_.begin(QByteArray(), clock().nowMs() + timeouts::kEepromDumpMs);
        }
        QByteArray rest;
        dump_.append(bytes, &rest);
        if (!dump_.complete()) return;  // the rest comes with the next reads
        DumpCheck(dump_.take());
        // Two reads of the memory that arrive together are checked one by one.
        bytes = rest;
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
    EditorState& state = editorState();
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
    state.pedal_effect_name = entry->displayName;
    DebugPrint(QStringLiteral("effect from list: ") + state.pedal_effect_name);
    state.selected_effect_name = state.pedal_effect_name;
    state.selected_is_on_pedal = true;
    btnRequest->setEnabled(true);
    btnRequest->setFocus();
    openParameterWindow(state.pedal_effect_name + QStringLiteral(" v") +
                            QString::number(state.pedal_effect_version),
                        -1, true);
    btnRequest->setEnabled(true);
    findPedalEffectInCategories(false);
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
