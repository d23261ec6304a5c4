// The device-information reply (06 00): four decimal numbers closed by CR LF,
// read as text from the port, split into fields and looked up in the catalogue.
//
// Input: the size of the pieces the reply arrives in (byte 0; 0 = whole),
// then the reply bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Errors.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "fuzz/support/FuzzPort.h"
#include "fuzz/support/Verbose.h"
#include "protocol/PedalInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zendal::Log::instance().clear();  // the log keeps every line; keep memory flat
    zendal::fuzz::mirrorLogWhenAsked();
    zendal::fuzz::InputReader in(data, size);
    const std::uint32_t slice = in.byte();

    zendal::fuzz::ScriptedDriver& port = zendal::fuzz::openScriptedPort();
    port.script(QByteArray(), false);
    port.setReadSlice(slice);
    port.queueNow(in.rest());

    const zendal::PedalInfoReply reply = zendal::queryPedalInfo(zendal::fuzz::scriptedConnection());
    if (!reply.ok()) return 0;
    try {
        const zendal::PedalInfo info = zendal::parsePedalInfo(reply.reply);
        // What passes the range check is something the tools can print and look up.
        const auto problem = zendal::implausiblePedalInfo(info);
        if (problem && problem->isEmpty()) std::abort();
        if (!problem && !info.empty && (info.effect < 0 || info.effect > 63)) std::abort();
        if (!problem &&
            (info.version < 0 || info.version > 255 || info.firmware < 0 || info.firmware > 255))
            std::abort();
        QString error;
        const auto name = zendal::effect_name_by_id(info.effect, &error);
        if (!name && error.isEmpty()) std::abort();  // a failed lookup says why
    } catch (const zendal::ConversionError& e) {
        if (e.message().isEmpty()) std::abort();
    }
    return 0;
}
