#pragma once

#include <QRegularExpression>
#include <optional>

#include "effects/EffectCatalogue.h"

namespace zendal::ctl {

// What every command that takes EFFECT accepts: the display name or the
// resource name, in any case, or the id in hexadecimal (0x2B or 2B), as the
// pedal and `zendalctl effects` show it. A name wins over an id that is
// spelt the same. Id 0 is the empty slot, not an effect.
inline std::optional<int> parseEffectArgument(const QString& text, QString* error) {
    for (int id = 1; id < kEffectIdCount; ++id) {
        const auto name = effect_name_by_id(id);
        if (!name) continue;
        if (name->compare(text, Qt::CaseInsensitive) == 0 ||
            format_resource_name(*name).compare(text, Qt::CaseInsensitive) == 0)
            return id;
    }
    static const QRegularExpression idPattern(QStringLiteral("^(0[xX])?([0-9A-Fa-f]{1,2})$"));
    const auto match = idPattern.match(text);
    if (match.hasMatch()) {
        const int id = match.captured(2).toInt(nullptr, 16);
        if (id == 0) {
            *error = QStringLiteral("Effect 0x00 is the empty slot, not an effect.");
            return std::nullopt;
        }
        return effect_name_by_id(id, error) ? std::optional<int>(id) : std::nullopt;
    }
    *error = QStringLiteral("\"%1\" is not an effect of the catalogue (see zendalctl effects)")
                 .arg(text);
    return std::nullopt;
}

}  // namespace zendal::ctl
