#include "params/PanelMessages.h"

#include <algorithm>
#include <cmath>

#include "protocol/Messages.h"

namespace zendal::panel {

std::uint32_t potValue(double position) {
    if (!std::isfinite(position) || position <= 0) return 0;
    // nearbyint rounds halves to the even neighbour in the default rounding mode.
    const double rounded = std::nearbyint(position);
    return static_cast<std::uint32_t>(std::min<double>(rounded, kPotMax));
}

std::uint32_t switchValue(bool on) {
    return on ? kOnValue : 0;
}

int multiStep(int choiceCount) {
    if (choiceCount <= 0) return 1;
    return std::max(1, 1024 / choiceCount);
}

std::uint32_t multiValue(int choice, int choiceCount) {
    if (choice < 0) choice = 0;
    return static_cast<std::uint32_t>(choice) * static_cast<std::uint32_t>(multiStep(choiceCount));
}

int choiceForValue(qint64 value, int choiceCount) {
    if (choiceCount <= 0) return -1;
    if (value < 0) return 0;
    const qint64 k = value / multiStep(choiceCount);
    return static_cast<int>(std::min<qint64>(k, choiceCount - 1));
}

int sliderPositionForValue(qint64 value) {
    return static_cast<int>(std::clamp<qint64>(value, 0, kPotMax));
}

QString parameterMessage(const QString& address4, std::uint32_t value) {
    return messages::parameterValue(address4, value);
}

QString reverseMessage(bool on, int index) {
    return messages::reverse(on, index);
}

QString potLogLine(int index, const QString& message) {
    return QStringLiteral("data sent pot %1: %2").arg(index).arg(message);
}

QString switchLogLine(int index, const QString& message) {
    return QStringLiteral("data sent switch %1: %2").arg(index).arg(message);
}

QString buttonLogLine(int index, const QString& message) {
    return QStringLiteral("data sent button %1: %2").arg(index).arg(message);
}

QString multiLogLine(int index, const QString& message) {
    return QStringLiteral("data sent multiswitch %1: %2").arg(index).arg(message);
}

}  // namespace zendal::panel
