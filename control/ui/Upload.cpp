// Effect upload: the chosen effect's image (or the image prepared with an
// impulse response) in one write; the answer arrives through the receive tick.
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QStringDecoder>
#include <QTimer>

#include "control/UploadImage.h"
#include "control/ui/TformMain.h"
#include "core/Clock.h"
#include "core/FileIo.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "protocol/DeviceController.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalSequences.h"
#include "resources/Interlock.h"
#include "shell/Prompt.h"

namespace zendal {

namespace {
// A text file's content: a byte-order mark decides the encoding, otherwise
// UTF-8 where valid, otherwise the system's 8-bit code page.
QString fileText(const QByteArray& bytes) {
    if (auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return decoder(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    return QString::fromLocal8Bit(bytes);
}
}  // namespace

bool TformMain::refuseUpload(const QString& text) {
    DebugPrint(QStringLiteral("upload refused: ") + text);
    prompt().information(text);
    return false;
}

void TformMain::btnUploadClick() {
    D2XXUnit& port = connection_.unit();
    // Everything that would make the upload fail or go astray is checked before
    // the first byte goes out.
    if (!port.isOpen()) {
        refuseUpload(
            QStringLiteral("No pedal is linked: choose Connection > Scan and Link "
                           "first. Nothing was sent."));
        return;
    }
    upload::Source source;
    source.currentCategory = device_.currentCategory();
    source.selectedEffect = device_.selectedEffectName();
    source.preparedIrImage = device_.preparedIrImage();
    source.preparedIrEffect = device_.preparedIrEffect();
    source.bankMode = device_.bankMode();
    for (int i = 0; i < 3; ++i)
        if (rdbtnBank[i]->isChecked()) source.bank = i;
    source.device = port.openDeviceKind();
    const upload::Prepared image = upload::prepareUploadImage(source);
    if (!image.ok()) {
        refuseUpload(image.error);
        return;
    }

    stopReceiveTick();
    port.PurgeFTReceive();
    if (!prompt().confirm(QStringLiteral("Upload the selected effect?"))) {
        startReceiveTick();
        return;
    }
    EnableEditorObjects(false);
    port.ShowFTErrors = true;

    if (image.fromIr) {
        DebugPrint(QStringLiteral("file content size: %1").arg(image.bytes));
    } else {
        DebugPrint(QStringLiteral("resource name: ") + image.resourceName);
    }
    DebugPrint(image.text.left(257));
    DebugPrint(QStringLiteral("size: %1").arg(image.bytes));
    const QByteArray bytes = Hex2String(image.text);
    DebugPrint(QStringLiteral("num of bytes: %1").arg(bytes.size()));
    // Bypass, pause and image as one sequence: nothing else writes in between.
    if (!sequences::sendEffectImage(connection_, bytes).ok()) {
        DebugPrint(QStringLiteral("upload not sent: the pedal is busy or gone"));
        EnableEditorObjects(true);
        startReceiveTick();
        return;
    }
    DebugPrint(QStringLiteral("write to device"));
    lblStatus->setText(QStringLiteral("Uploading..."));
    // The answer is awaited for a bounded time only; the controls come back
    // either way.
    uploadPending_ = true;
    TimerUploadAnswer->start();
    startReceiveTick();
}

void TformMain::btnUploadFileClick() {
    D2XXUnit& port = connection_.unit();
    const QString path = prompt().openFileName(QString(), QString(), QString());
    const bool tickWasRunning = receiveTickRunning();
    stopReceiveTick();  // the answer is read here, not by the tick
    if (!path.isEmpty()) {
        port.ShowFTErrors = true;
        // An upload is at most 65,535 bytes: 131,070 hexadecimal digits, with
        // room for line breaks. Reading stops there (/dev/zero included).
        constexpr qint64 kMaxUploadFileBytes = 256 * 1024;
        const fileio::ReadResult read = fileio::readAtMost(path, kMaxUploadFileBytes);
        if (!read.ok()) {
            refuseUpload(QStringLiteral("Cannot read %1: %2").arg(path, read.error));
            if (tickWasRunning) startReceiveTick();
            return;
        }
        const QString text = fileText(read.bytes);
        DebugPrint(QFileInfo(path).absoluteFilePath());
        DebugPrint(QFileInfo(path).fileName());
        DebugPrint(text);
        DebugPrint(QString::number(text.size()));
        // A final line break is not part of the message.
        QString hex = text;
        while (!hex.isEmpty() && hex.back().isSpace()) hex.chop(1);
        if (!port.isOpen() || !IsHexText(hex)) {
            refuseUpload(!port.isOpen()
                             ? QStringLiteral("No pedal is linked. Nothing was sent.")
                             : QStringLiteral("%1 does not hold pairs of hexadecimal digits only. "
                                              "Nothing was sent.")
                                   .arg(QFileInfo(path).fileName()));
            if (tickWasRunning) startReceiveTick();
            return;
        }
        // An effect image in a file may be one of the demonstration effects.
        if (hex.size() >= 2 &&
            upload::isUploadCode(static_cast<std::uint8_t>(HexToInt(hex.left(2))))) {
            if (const auto refusal = refuseDemonstrationDataFor(port.openDeviceKind())) {
                refuseUpload(*refusal + QStringLiteral(" Nothing was sent."));
                if (tickWasRunning) startReceiveTick();
                return;
            }
        }
        const int count = int(hex.size() / 2);
        DebugPrint(QStringLiteral("num of bytes: %1").arg(HexToBytes(hex, count)));
        port.WriteFTDevice(static_cast<std::uint32_t>(count));
        DebugPrint(QStringLiteral("write to device"));
    }
    if (WaitForFirstByte(timeouts::kRawUploadMs) == WaitOutcome::Ok) {
        for (std::uint32_t n = port.ReadFTDevice(); n > 0; n = port.ReadFTDevice()) {
            DebugPrint(QStringLiteral("received: ") +
                       QString::fromLatin1(
                           reinterpret_cast<const char*>(port.FTReceiveBuffer.data()), int(n)));
        }
    } else {
        DebugPrint(QStringLiteral("no answer from the pedal"));
    }
    if (tickWasRunning) startReceiveTick();
}

}  // namespace zendal
