// The bootloader client against a device whose every answer comes from the
// fuzz input: connect, the whole upgrade sequence (GET, erase, write, variant
// record, read-back) and Go. Whatever the device answers, the client must end
// each step (no hang), never report success for a step that was not
// acknowledged, and never start the firmware over an incomplete image.
//
// Input: a selector byte (bit 0: read back; bit 1: connect as "already
// connected"; bits 2-4: the image size; bits 5-7: the variant), then the
// device's answers, one per write: a length byte and that many bytes (0xFF:
// the port fails at the next query; 0xFE: no answer).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Log.h"
#include "firmware/BootloaderClient.h"
#include "firmware/UpgradeSequence.h"
#include "fuzz/support/FuzzPort.h"
#include "fuzz/support/Verbose.h"
#include "link/D2XXUnit.h"
#include "protocol/PedalConnection.h"

namespace {

using namespace zendal;
using namespace zendal::firmware;

// Sizes that cover a single byte, a part chunk, whole chunks and a part last chunk.
constexpr int kImageSizes[8] = {1, 2, 17, 255, 256, 257, 512, 700};

QByteArray image(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    // A vector table of this part (stack 0x20005000, reset 0x08000009), or the
    // sequence refuses the image before anything is sent.
    const char vectors[8] = {0x00, 0x50, 0x00, 0x20, 0x09, 0x00, 0x00, 0x08};
    for (int i = 0; i < 8 && i < size; ++i) bytes[i] = vectors[i];
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Log::instance().clear();  // the log keeps every line; keep memory flat
    zendal::fuzz::mirrorLogWhenAsked();
    fuzz::InputReader in(data, size);
    const std::uint8_t selector = in.byte();
    const bool verify = selector & 0x01;
    const auto mode = (selector & 0x02) ? BootloaderClient::ConnectMode::AcceptAlreadyConnected
                                        : BootloaderClient::ConnectMode::Strict;
    const QByteArray firmware = image(kImageSizes[(selector >> 2) & 0x07]);
    const int variant = 1 + ((selector >> 5) & 0x07);

    fuzz::ScriptedDriver& port = fuzz::openScriptedPort();
    port.script(in.rest(), false);
    PedalConnection& connection = fuzz::scriptedConnection();
    connection.setLineOwner(LineOwner::Firmware);

    UpgradeSequence sequence(connection);
    const StepResult connected = sequence.client().connect(mode);
    if (connected.ok()) {
        const UpgradeResult result =
            sequence.runImage(firmware, variant, UpgradeOptions{verify}, {});
        // Only a sequence that got through every step reports success, and
        // then the flash holds the image.
        if (result.ok() && sequence.flashState() != FlashState::Written) std::abort();
        // ...and every block of the image went out in a data frame.
        for (int at = 0; result.ok() && at < firmware.size(); at += kChunkSize) {
            if (!port.written().contains(dataBlockFrame(firmware.mid(at, kChunkSize))))
                std::abort();
        }
        if (result.status == UpgradeResult::Status::Failed && !result.error &&
            result.message.isEmpty())
            std::abort();
        if (result.verified && !verify) std::abort();
    } else if (connected.error().message().isEmpty()) {
        std::abort();
    }

    // Go is refused over an incomplete image, and then nothing is written.
    const bool incomplete = sequence.flashState() == FlashState::Incomplete;
    const qsizetype writtenBefore = port.written().size();
    const StepResult went = sequence.leaveBootloader();
    if (incomplete) {
        if (went.ok() || went.error().failure != Failure::Refused ||
            port.written().size() != writtenBefore)
            std::abort();
    }
    connection.unit().ShowFTErrors = true;
    connection.setLineOwner(LineOwner::Firmware);
    return 0;
}
