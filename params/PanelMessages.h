#pragma once

#include <QString>
#include <cstdint>

// Values and messages of the parameter panel, without any window: what a
// slider, switch, push button or choice list sends, and how a value reported
// by the pedal or read from a preset file shows in those controls.
namespace zendal::panel {

constexpr int kPotMax = 1023;
constexpr std::uint32_t kOnValue = 1024;  // switches and buttons; word 00 80 00 00

// A slider position taken to the nearest whole value (halves to the even
// neighbour), kept inside 0..1023.
std::uint32_t potValue(double position);
std::uint32_t switchValue(bool on);
// 1024 div the number of choices; never 0, so a list with more than 1024
// choices (or none) cannot divide by zero.
int multiStep(int choiceCount);
std::uint32_t multiValue(int choice, int choiceCount);

// The choice a value selects: value div step, kept below the number of
// choices (a pedal or file value past the last choice selects the last one).
// -1 when the list has no choices.
int choiceForValue(qint64 value, int choiceCount);
// The slider position a value shows (the slider holds 0..1023).
int sliderPositionForValue(qint64 value);
// A switch shows on for any value above 0.
inline bool switchOnForValue(qint64 value) {
    return value > 0;
}

// The 7-byte parameter message: 01, address (4 digits as written), value x 8192.
QString parameterMessage(const QString& address4, std::uint32_t value);
// The 3-byte reverse message: 08 01|FF index.
QString reverseMessage(bool on, int index);

// Log lines of the four senders, e.g. "data sent pot 3: 01000500400000".
QString potLogLine(int index, const QString& message);
QString switchLogLine(int index, const QString& message);
QString buttonLogLine(int index, const QString& message);
QString multiLogLine(int index, const QString& message);

}  // namespace zendal::panel
