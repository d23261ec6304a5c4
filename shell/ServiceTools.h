#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The console's service tools that need no window: the peaking-filter
// coefficient calculator and the raw parameter message.
namespace zendal::service {

// The 48 semitones from "A1" to "G#5"; index 12 is "A2" (110 Hz).
const QStringList& noteNames();
constexpr int kReferenceNoteIndex = 12;
constexpr double kSampleRate = 48000.0;

// f0 = 110 * 2^(offset / 12), offset in semitones from A2.
double NoteFrequency(double offset);

// Peaking-equalizer biquad, normalised by a0, overall gain folded into b0..b2,
// feedback coefficients with the sign that makes
// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] + a1 y[n-1] + a2 y[n-2].
struct Biquad {
    double b0, b1, b2, a1, a2;
};
Biquad peakingBiquad(double f0, double gainDb, double q, double overallGainDb = 0.0,
                     double sampleRate = kSampleRate);

// coefficient * 2^23 rounded to the nearest integer (halves to even), wrapped to
// 32 bits. Infinite values saturate, NaN gives 0.
std::uint32_t toFixedPoint23(double coefficient);

// Shortest decimal form with the locale's separator, at most 15 significant digits.
QString shortestNumber(double value, const QLocale& locale);

// The six lines of the constant declaration: heading, then b0, b1, b2, a1, a2.
QStringList PrintBiquadCoefficients(const QString& noteName, const Biquad& biquad, double gainDb,
                                    double q, const QLocale& locale);

// The calculator behind the console's hidden fields. The stored values start
// at Q 11 and gain -6 dB (not what the fields show) and change only when a
// field's text is edited into a number.
class Calculator {
  public:
    explicit Calculator(const QLocale& locale = QLocale()) : locale_(locale) {}

    void setNoteIndex(int index);  // offset = index - 12
    // Stores the number and logs "Q: " / "boost: " with it. Text that is not a
    // number in the locale (or a Q that is not above 0) changes nothing,
    // logs nothing and returns false.
    bool setQText(const QString& text);
    bool setBoostText(const QString& text);

    // NoteFrequency, then the six lines, each logged.
    QStringList calculate() const;

    int noteIndex() const { return noteIndex_; }
    double q() const { return q_; }
    double gainDb() const { return gainDb_; }

  private:
    std::optional<double> parse(const QString& text) const;
    QLocale locale_;
    int noteIndex_ = 0;  // A1: offset -12
    double q_ = 11.0;
    double gainDb_ = -6.0;
    double overallGainDb_ = 0.0;
};

// "01" + address + data when the address is four and the data eight
// hexadecimal digits; otherwise nullopt and *error says what is wrong.
std::optional<QString> rawParameterMessage(const QString& address, const QString& data,
                                           QString* error);

}  // namespace zendal::service
