#include "shell/ServiceTools.h"

#include <cmath>
#include <numbers>

#include "core/Log.h"

namespace zendal::service {

namespace {

constexpr double kFixedScale = 8388608.0;    // 2^23
constexpr double kWordRange = 4294967296.0;  // 2^32

double roundHalfToEven(double x) {
    const double down = std::floor(x);
    const double diff = x - down;
    if (diff > 0.5) return down + 1.0;
    if (diff < 0.5) return down;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

bool isHexDigits(const QString& text, int count) {
    if (text.size() != count) return false;
    for (const QChar c : text) {
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                         (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ||
                         (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
        if (!hex) return false;
    }
    return true;
}

}  // namespace

const QStringList& noteNames() {
    static const QStringList names = [] {
        QStringList n{QStringLiteral("A1"), QStringLiteral("A#1"), QStringLiteral("B1")};
        const char* const octave[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                      "F#", "G",  "G#", "A",  "A#", "B"};
        for (int o = 2; o <= 4; ++o) {
            for (const char* name : octave) n << QString::fromLatin1(name) + QString::number(o);
        }
        for (int i = 0; i < 9; ++i) n << QString::fromLatin1(octave[i]) + QStringLiteral("5");
        return n;
    }();
    return names;
}

double NoteFrequency(double offset) {
    return 110.0 * std::pow(2.0, offset / 12.0);
}

Biquad peakingBiquad(double f0, double gainDb, double q, double overallGainDb, double sampleRate) {
    const double A = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * f0 / sampleRate;
    const double alpha = std::sin(w0) / (2.0 * q);
    const double a0 = 1.0 + alpha / A;
    const double g = std::pow(10.0, overallGainDb / 20.0) / a0;
    Biquad b{};
    b.b0 = (1.0 + alpha * A) * g;
    b.b1 = -2.0 * std::cos(w0) * g;
    b.b2 = (1.0 - alpha * A) * g;
    b.a1 = 2.0 * std::cos(w0) / a0;
    b.a2 = -(1.0 - alpha / A) / a0;
    return b;
}

std::uint32_t toFixedPoint23(double coefficient) {
    const double x = coefficient * kFixedScale;
    if (std::isnan(x)) return 0;
    if (std::isinf(x)) return x > 0 ? 0x7FFFFFFFu : 0x80000000u;
    double wrapped = std::fmod(roundHalfToEven(x), kWordRange);
    if (wrapped < 0) wrapped += kWordRange;
    return static_cast<std::uint32_t>(wrapped);
}

QString shortestNumber(double value, const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(value, 'g', 15);
}

QStringList PrintBiquadCoefficients(const QString& noteName, const Biquad& biquad, double gainDb,
                                    double q, const QLocale& locale) {
    QStringList lines;
    lines << noteName + QStringLiteral("_") + shortestNumber(std::fabs(gainDb), locale) +
                 QStringLiteral("db_") +
                 (gainDb < 0 ? QStringLiteral("cut") : QStringLiteral("boost")) +
                 QStringLiteral("_Q") + shortestNumber(q, locale) +
                 QStringLiteral(" : array[0..19] of string =");
    const double values[] = {biquad.b0, biquad.b1, biquad.b2, biquad.a1, biquad.a2};
    for (int i = 0; i < 5; ++i) {
        const QString hex =
            QStringLiteral("%1").arg(toFixedPoint23(values[i]), 8, 16, QLatin1Char('0')).toUpper();
        QString line = i == 0 ? QStringLiteral("(") : QString();
        for (int p = 0; p < 4; ++p) {
            line += QLatin1Char('\'') + hex.mid(p * 2, 2) + QLatin1Char('\'');
            line += (i == 4 && p == 3) ? QStringLiteral(");") : QStringLiteral(", ");
        }
        lines << line;
    }
    return lines;
}

void Calculator::setNoteIndex(int index) {
    noteIndex_ = index;
}

std::optional<double> Calculator::parse(const QString& text) const {
    QLocale l = locale_;
    l.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = l.toDouble(text, &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool Calculator::setQText(const QString& text) {
    const auto v = parse(text);
    if (!v || *v <= 0.0) return false;
    q_ = *v;
    DebugPrint(QStringLiteral("Q: ") + shortestNumber(q_, locale_));
    return true;
}

bool Calculator::setBoostText(const QString& text) {
    const auto v = parse(text);
    if (!v) return false;
    gainDb_ = *v;
    DebugPrint(QStringLiteral("boost: ") + shortestNumber(gainDb_, locale_));
    return true;
}

QStringList Calculator::calculate() const {
    const double f0 = NoteFrequency(noteIndex_ - kReferenceNoteIndex);
    const QString name =
        noteIndex_ >= 0 && noteIndex_ < noteNames().size() ? noteNames().at(noteIndex_) : QString();
    const QStringList lines = PrintBiquadCoefficients(
        name, peakingBiquad(f0, gainDb_, q_, overallGainDb_), gainDb_, q_, locale_);
    for (const QString& line : lines) DebugPrint(line);
    return lines;
}

std::optional<QString> rawParameterMessage(const QString& address, const QString& data,
                                           QString* error) {
    if (isHexDigits(address, 4) && isHexDigits(data, 8)) {
        return QStringLiteral("01") + address + data;
    }
    if (error) {
        *error = QStringLiteral(
            "Not sent: the address needs 4 and the data 8 hexadecimal digits (0-9, A-F).");
    }
    return std::nullopt;
}

}  // namespace zendal::service
