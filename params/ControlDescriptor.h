#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace zendal {

// The parsed control descriptor of one effect: its pots, switch-section entries
// (switches and buttons), multi-switches and readbacks, and the parameter
// address table taken from the effect image. Parameter indices run over pots,
// then the switch section, then multi-switches, in descriptor order.
struct TControlDescriptor {
    static constexpr int kMaxParams = 16;
    static constexpr int kMaxReadbacks = 4;

    int pot_count = 0;
    int switch_count = 0;
    int multi_count = 0;
    int param_count = 0;
    int readback_count = 0;

    std::array<QString, kMaxParams> control_names;
    std::array<QString, kMaxReadbacks> readback_names;
    std::array<QString, kMaxParams> captions;  // caption shown for each parameter
    std::array<QString, kMaxParams> off_texts;
    std::array<QString, kMaxParams> on_texts;
    std::array<bool, kMaxParams> is_button{};
    std::array<int, kMaxParams> option_counts{};
    std::array<QStringList, kMaxParams> options;
    std::array<QString, kMaxParams> param_addresses;  // 4 hexadecimal digits each

    enum class Kind { Pot, Switch, Button, MultiSwitch };
    Kind kind(int index) const {
        if (index < pot_count) return Kind::Pot;
        if (index < pot_count + switch_count) return is_button[index] ? Kind::Button : Kind::Switch;
        return Kind::MultiSwitch;
    }
};

// A short name of a control kind, as the command-line tools print it.
inline QString controlKindName(TControlDescriptor::Kind kind) {
    switch (kind) {
        case TControlDescriptor::Kind::Pot:
            return QStringLiteral("pot");
        case TControlDescriptor::Kind::Switch:
            return QStringLiteral("switch");
        case TControlDescriptor::Kind::Button:
            return QStringLiteral("button");
        case TControlDescriptor::Kind::MultiSwitch:
            return QStringLiteral("multi");
    }
    return {};
}

}  // namespace zendal
