// Control descriptors and the parameter address table of an effect image: the
// text of a resource that a maker's catalogue installed beside the editor may
// replace, so nothing in it is trusted.
//
// Input: the descriptor bytes, a 0x00 byte, then the image's first line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "fuzz/support/Verbose.h"
#include "params/DescriptorParser.h"

namespace {

// Every promise the parser makes about what it accepts.
void checkAccepted(const zendal::TControlDescriptor& d) {
    using zendal::TControlDescriptor;
    const bool sane = d.pot_count >= 1 && d.switch_count >= 0 && d.multi_count >= 0 &&
                      d.param_count == d.pot_count + d.switch_count + d.multi_count &&
                      d.param_count <= TControlDescriptor::kMaxParams && d.readback_count >= 0 &&
                      d.readback_count <= TControlDescriptor::kMaxReadbacks;
    if (!sane) std::abort();
    for (int i = d.pot_count + d.switch_count; i < d.param_count; ++i) {
        if (d.option_counts[i] < 1 || d.options[i].size() != d.option_counts[i]) std::abort();
    }
    for (const QString& address : d.param_addresses) {
        if (address.size() != 4) std::abort();
    }
    for (int i = 0; i < d.param_count; ++i) (void)d.kind(i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zendal::Log::instance().clear();  // the log keeps every line; keep memory flat
    zendal::fuzz::mirrorLogWhenAsked();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = bytes.indexOf('\0');
    const QByteArray descriptorBytes = cut < 0 ? bytes : bytes.left(cut);
    const QString imageLine = cut < 0 ? QString() : QString::fromLatin1(bytes.mid(cut + 1));

    // The resource reader's way from bytes to lines, then the parser on the text.
    const QStringList lines = zendal::split_resource_lines(descriptorBytes);
    const QString text = lines.join(QLatin1String("\r\n"));
    const zendal::DescriptorResult result =
        zendal::parseControlDescriptor(text, imageLine, QStringLiteral("Fuzz Effect"));
    if (result.ok()) {
        checkAccepted(*result.descriptor);
    } else if (result.error.isEmpty()) {
        std::abort();  // a refusal always says why
    }

    // The halves with their log lines, as the catalogue functions run them.
    QStringList log;
    const auto collect = [&log](const QString& line) { log << line; };
    zendal::DescriptorResult lines2 =
        zendal::parseControlLines(QString::fromUtf8(descriptorBytes), QStringLiteral("F"), collect);
    zendal::TControlDescriptor d = lines2.ok() ? *lines2.descriptor : zendal::TControlDescriptor{};
    zendal::parseParameterAddresses(imageLine, QStringLiteral("F"), d, collect);

    // The catalogue's name rules work on the same kind of text.
    for (const QString& line : lines) {
        const QString name = zendal::display_name_of_line(line);
        (void)zendal::format_resource_name(name);
    }
    return 0;
}
