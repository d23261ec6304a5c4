// Preset files: any bytes a user may pick in the open dialog, read, checked
// against the effect on the pedal and planned into the messages a load sends.
//
// Input: a selector byte (the effect's descriptor from a small table, and
// whether the expected header is taken from the file itself so that the body
// is reached), then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Errors.h"
#include "core/Log.h"
#include "fuzz/support/Verbose.h"
#include "link/FrameCodec.h"
#include "params/DescriptorParser.h"
#include "params/PresetFile.h"
#include "params/PresetPlan.h"

namespace {

const zendal::TControlDescriptor& descriptor(int which) {
    static const QString image = QStringLiteral("0A0100") + QStringLiteral("0123").repeated(16);
    static const zendal::TControlDescriptor table[] = {
        *zendal::parseControlDescriptor(QStringLiteral("2000\r\nDrive\r\nLevel"), image, "a")
             .descriptor,
        *zendal::parseControlDescriptor(
             QStringLiteral(
                 "2211\r\nTime\r\nMix\r\nPhase:-:Inv\r\nTap:Tap:Tap@\r\nMode;A;B;C\r\nLFO"),
             image, "b")
             .descriptor,
        *zendal::parseControlDescriptor(
             QStringLiteral("A424\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\nS:a:b\r\n"
                            "B@\r\nS\r\nT:x\r\nM;1\r\nN;;\r\nR1\r\nR2\r\nR3\r\nR4"),
             image, "c")
             .descriptor,
    };
    return table[which % 3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zendal;
    Log::instance().clear();  // the log keeps every line; keep memory flat
    zendal::fuzz::mirrorLogWhenAsked();
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const QByteArray file(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));
    const TControlDescriptor& d = descriptor(selector & 0x0F);

    // The check the reader makes before anything else: text or a plain refusal.
    const QString bytesProblem = preset::presetBytesProblem(file);
    if (bytesProblem.isEmpty() && (file.isEmpty() || file.contains('\0'))) std::abort();
    if (!bytesProblem.isEmpty() && (selector & 0x20)) return 0;

    const QString text = preset::rejoinLines(file);
    preset::Expectation expected{0x26, 1, d.param_count, d.readback_count};
    if (selector & 0x80) {
        // The pedal holds what the file names: the header check passes when its
        // fields are numbers, and the body is read.
        try {
            expected.effectNumber = static_cast<int>(HexToInt(text.mid(preset::numberPos(), 4)));
            expected.effectVersion = static_cast<int>(HexToInt(text.mid(preset::versionPos(), 2)));
        } catch (const ConversionError&) {
        }
    }
    const preset::HeaderCheck check = preset::checkHeader(text, expected);
    if (check.ok != check.messages.isEmpty()) std::abort();
    if (!check.ok && !(selector & 0x40)) return 0;

    QString error;
    const auto body = preset::readBody(text, d.param_count, d.readback_count, &error);
    if (!body) {
        if (error.isEmpty()) std::abort();  // a refusal says why
        return 0;
    }
    const int n = d.param_count;
    // The checks against the effect's controls accept a subset of the same
    // fields and never accept what the pedal cannot hold.
    const auto checked = preset::readBody(text, d, &error);
    if (!checked && error.isEmpty()) std::abort();
    if (checked) {
        for (int i = 0; i < n; ++i) {
            if (checked->values[i] < 0 || checked->values[i] > 1024) std::abort();
            if (checked->assignments[i] > 0x0B && checked->assignments[i] != 0xFF) std::abort();
        }
    }
    if (body->values.size() != n || body->assignments.size() != n || body->reverse.size() != n ||
        body->leds.size() != d.readback_count)
        std::abort();
    preset::logValues(*body);
    preset::logAssignments(*body);
    preset::logReverse(*body);
    preset::logLeds(*body);

    // What the load would send, from a panel that shows the pedal's defaults.
    preset::ShownState shown;
    const auto plan = preset::planPresetLoad(d, shown, *body);
    for (const auto& m : plan) {
        if (m.text.isEmpty() || !IsHexText(m.text)) std::abort();
    }

    // A file written from what was read reads back the same.
    TParameterSettings settings;
    settings.param_values = body->values;
    for (int i = 0; i < n; ++i) {
        settings.assignments[i] = body->assignments[i];
        settings.reverse_flags[i] = body->reverse[i] == u'1';
    }
    for (int j = 0; j < d.readback_count; ++j) settings.led_assignments[j] = body->leds[j] & 0xFF;
    const QString again = preset::composePresetText(0x26, 1, settings, n, d.readback_count);
    const auto reread = preset::readBody(preset::rejoinLines(preset::encodePresetFile(again)), n,
                                         d.readback_count, &error);
    if (!reread || reread->values != body->values || reread->assignments != body->assignments)
        std::abort();
    return 0;
}
