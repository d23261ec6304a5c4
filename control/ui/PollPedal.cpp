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
#include "protocol/IncomingFramer.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "shell/Prompt.h"

namespace zendal {

void TformMain::PollPedal() {
    // One receive tick in the process: the connection reads and frames, and
    // hands each message to handleMessage through its message signal.
    connection_.tick();
    // A message without a fixed end is complete once the line is quiet: wait
    // for that here (bounded), so that one call sees what arrived.
    Clock& c = clock();
    for (int quiet = 0; connection_.holdingPiece() && quiet < timeouts::kMessageQuietMs; ++quiet) {
        c.pause(1);
        connection_.tick();
    }
    if (connection_.holdingPiece()) connection_.lineQuiet();
}

bool TformMain::handleMessage(const QByteArray& bytes) {
    DebugPrint(QStringLiteral("Data(ASCII): ") + incoming::asciiText(bytes));
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

void TformMain::DumpCheck(const QByteArray& message) {
    // A dump that stopped arriving is handed on as it stands once its time is up.
    if (message.size() < IncomingFramer::kDumpBytes) {
        const QString text =
            QStringLiteral(
                "The pedal's settings memory dump is incomplete: %1 of %2 bytes arrived.")
                .arg(message.size() - 1)
                .arg(incoming::kDumpDataBytes);
        DebugPrint(text);
        prompt().information(text);
        return;
    }
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
