// Decoding of the pedal's decimal replies and of hexadecimal text from files.
#include <cstddef>
#include <cstdint>

#include "core/Errors.h"
#include "core/Log.h"
#include "link/FrameCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zendal::Log::instance().clear();  // the log keeps every line; keep memory flat
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    try {
        zendal::DecodeReply(bytes);
    } catch (const zendal::ConversionError&) {
    }
    const QString text = QString::fromLatin1(bytes);
    try {
        zendal::HexToInt(text);
    } catch (const zendal::ConversionError&) {
    }
    zendal::HexToBytes(text, static_cast<int>(text.size() / 2));
    zendal::Hex2String(text);
    return 0;
}
