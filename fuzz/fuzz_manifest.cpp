// A backup's manifest: any bytes a user may point Restore Pedal… or
// `zendalctl restore` at. The restore opens the files the manifest names, so
// a name that leaves the backup folder must never come out of the parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/support/Verbose.h"
#include "shell/BackupManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zendal::fuzz::mirrorLogWhenAsked();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto manifest = zendal::backup::parseManifest(bytes, &error);
    if (!manifest) {
        if (error.isEmpty()) std::abort();  // a refusal always says why
        return 0;
    }
    for (const zendal::backup::BackupFile& f : manifest->files) {
        if (f.name.contains(QLatin1Char('/')) || f.name == QLatin1String("..")) std::abort();
        if (manifest->file(f.name) == nullptr) std::abort();
    }
    return 0;
}
