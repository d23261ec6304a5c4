// zendalctl biquad / eeprom: the debug console's service tools from a shell.
#include <QLocale>
#include <cmath>

#include "app/zendalctl/Command.h"
#include "core/FileIo.h"
#include "link/Timeouts.h"
#include "shell/EepromTools.h"
#include "shell/ServiceTools.h"

namespace zendal::ctl {
namespace {

// The name of the first coefficient that does not fit the pedal's 32-bit word
// with 23 fraction bits (it would wrap round), or nothing.
std::optional<QString> coefficientOutOfRange(const service::Calculator& calculator) {
    const service::Biquad b = service::peakingBiquad(
        service::NoteFrequency(calculator.noteIndex() - service::kReferenceNoteIndex),
        calculator.gainDb(), calculator.q());
    const struct {
        const char* name;
        double value;
    } coefficients[] = {{"b0", b.b0}, {"b1", b.b1}, {"b2", b.b2}, {"a1", b.a1}, {"a2", b.a2}};
    for (const auto& c : coefficients) {
        const double scaled = std::round(c.value * 8388608.0);
        if (!std::isfinite(scaled) || scaled < -2147483648.0 || scaled > 2147483647.0)
            return QString::fromLatin1(c.name);
    }
    return std::nullopt;
}

// biquad NOTE GAIN_DB Q: the six lines of "Calc Coeff." (numbers in C form).
int runBiquad(Context& c) {
    if (c.args.size() != 3) {
        c.err << "usage: zendalctl biquad NOTE GAIN_DB Q   (NOTE: A1 .. G#5)\n";
        return kUsage;
    }
    const int note = static_cast<int>(service::noteNames().indexOf(c.args[0]));
    if (note < 0) {
        c.err << "biquad: \"" << c.args[0] << "\" is not a note from A1 to G#5 (sharps as #)\n";
        return kUsage;
    }
    const QLocale cLocale = QLocale::c();
    service::Calculator calculator(cLocale);
    calculator.setNoteIndex(note);
    if (!calculator.setBoostText(c.args[1])) {
        c.err << "biquad: gain \"" << c.args[1] << "\" is not a number\n";
        return kUsage;
    }
    if (!calculator.setQText(c.args[2])) {
        c.err << "biquad: Q \"" << c.args[2] << "\" is not a number above 0\n";
        return kUsage;
    }
    if (const auto name = coefficientOutOfRange(calculator)) {
        c.err << "biquad: gain " << c.args[1] << " dB with Q " << c.args[2] << " puts " << *name
              << " beyond the 32-bit fixed-point range (-256 to 256)\n";
        return kUsage;
    }
    for (const QString& line : calculator.calculate()) c.out << line << "\n";
    return kOk;
}

bool isEepromAddress(const QString& text) {
    return text == QLatin1String("50") || text == QLatin1String("51");
}

int eepromUsage(Context& c) {
    c.err << "usage: zendalctl eeprom read 50|51 [--out FILE] | eeprom erase 50|51\n";
    return kUsage;
}

int runEeprom(Context& c) {
    QStringList positional;
    QString outPath;
    for (int i = 0; i < c.args.size(); ++i) {
        if (c.args[i] == QLatin1String("--out")) {
            if (i + 1 >= c.args.size() || c.args[i + 1].isEmpty()) return eepromUsage(c);
            outPath = c.args[++i];
        } else {
            positional << c.args[i];
        }
    }
    if (positional.size() != 2 || !isEepromAddress(positional[1])) return eepromUsage(c);
    const QString& action = positional[0];
    const QString& address = positional[1];
    if (action == QLatin1String("erase")) {
        if (!outPath.isEmpty()) return eepromUsage(c);
        if (!c.openDevice()) return kFailure;
        if (!EraseEEPROM(address)) return kFailure;
        c.out << "erase message sent to EEPROM " << address << "\n";
        return kOk;
    }
    if (action != QLatin1String("read")) return eepromUsage(c);
    if (!c.openDevice()) return kFailure;
    const EepromDump dump = ReadEepromDump(*c.connection, address, timeouts::kEepromDumpMs);
    if (dump.outcome != EepromDump::Outcome::Ok) {
        c.err << "eeprom: " << dump.describe() << "\n";
        return kFailure;
    }
    if (outPath.isEmpty()) {
        c.out << HexDump(dump.bytes);
        return kOk;
    }
    QString error;
    if (!fileio::saveFile(outPath, dump.bytes, &error)) {
        c.err << "eeprom: cannot write \"" << outPath << "\": " << error << "\n";
        return kFailure;
    }
    c.out << dump.bytes.size() << " bytes of EEPROM " << address << " written to " << outPath
          << "\n";
    return kOk;
}

const Registration biquadCommand({QStringLiteral("biquad"), QStringLiteral("biquad NOTE GAIN_DB Q"),
                                  runBiquad});
const Registration eepromCommand({QStringLiteral("eeprom"),
                                  QStringLiteral("eeprom read 50|51 [--out FILE] | erase 50|51"),
                                  runEeprom});

}  // namespace
}  // namespace zendal::ctl
