// The value controls: what a slider, switch, push button, choice list or
// reverse box sends, showing the model in them, and the pedal's control reports.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "core/Clock.h"
#include "core/Log.h"
#include "link/FrameCodec.h"
#include "params/PanelMessages.h"
#include "params/SettingsRecord.h"
#include "params/ui/FXParametersImpl.h"
#include "protocol/DeviceController.h"
#include "protocol/Messages.h"

namespace zendal {

void TformFXParameters::Impl::PotParameterChange(int index) {
    if (device->requestInProgress() || device->pedalMoveInProgress()) return;
    send_pot(index);
    if (QSlider* slider = sliders[index])
        userChanged(tone::valueOf(index), slider->value(), slider->isSliderDown());
}

void TformFXParameters::Impl::SwitchParameterOnSwitch(int index) {
    if (device->requestInProgress()) return;
    send_switch(index);
    if (built && switches[index])
        userChanged(tone::valueOf(index), panel::switchValue(switches[index]->isChecked()));
}

void TformFXParameters::Impl::ButtonParameterClick(int index) {
    if (device->requestInProgress()) return;
    send_button(index);
    if (built && buttons[index])
        userChanged(tone::valueOf(index), panel::switchValue(button_toggle[index]));
}

void TformFXParameters::Impl::MultiSwitchOnChange(int index) {
    if (device->requestInProgress()) return;
    send_multiswitch(index);
    if (built && multis[index] && multis[index]->currentIndex() >= 0)
        userChanged(tone::valueOf(index), panel::multiValue(multis[index]->currentIndex(),
                                                            descriptor.option_counts[index]));
}

void TformFXParameters::Impl::send_pot(int index) {
    QSlider* slider = sliders[index];
    if (!slider) return;
    const QString text = panel::parameterMessage(descriptor.param_addresses[index],
                                                 panel::potValue(slider->value()));
    DebugPrint(panel::potLogLine(index, text));
    SendHexMessage(text, 7);
    clock().pause(messages::kPotPauseMs);
}

void TformFXParameters::Impl::send_switch(int index) {
    QCheckBox* sw = switches[index];
    if (!sw) return;
    const QString text = panel::parameterMessage(descriptor.param_addresses[index],
                                                 panel::switchValue(sw->isChecked()));
    DebugAppend(panel::switchLogLine(index, text));
    SendHexMessage(text, 7);
    update_state_caption(index);
}

void TformFXParameters::Impl::send_button(int index) {
    QPushButton* button = buttons[index];
    if (!button) return;
    const bool on = !button_toggle[index];
    button_toggle[index] = on;
    const QString text =
        panel::parameterMessage(descriptor.param_addresses[index], panel::switchValue(on));
    DebugAppend(panel::buttonLogLine(index, text));
    SendHexMessage(text, 7);
    button->clearFocus();
}

void TformFXParameters::Impl::send_multiswitch(int index) {
    QComboBox* combo = multis[index];
    if (!combo || combo->currentIndex() < 0) return;
    const QString text = panel::parameterMessage(
        descriptor.param_addresses[index],
        panel::multiValue(combo->currentIndex(), descriptor.option_counts[index]));
    DebugPrint(panel::multiLogLine(index, text));
    SendHexMessage(text, 7);
}

void TformFXParameters::Impl::update_state_caption(int index) {
    if (!switches[index] || !stateCaptions[index]) return;
    stateCaptions[index]->setText(switches[index]->isChecked() ? descriptor.on_texts[index]
                                                               : descriptor.off_texts[index]);
}

void TformFXParameters::Impl::ReverseCheckBoxOnClick(int index) {
    if (device->requestInProgress()) return;
    QCheckBox* box = reverseBoxes[index];
    if (!box) return;
    const bool on = box->isChecked();
    parameterSettings().reverse_flags[index] = on;
    const QString text = panel::reverseMessage(on, index);
    DebugPrint(text);
    SendHexMessage(text, 3);
    userChanged(tone::reverseOf(index), on ? 1 : 0);
}

void TformFXParameters::Impl::setItems() {
    if (!built) return;
    const int gen = generation;
    const TParameterSettings& settings = parameterSettings();
    auto value = [&](int i) {
        return i < settings.param_values.size() ? settings.param_values[i] : 0;
    };
    const int P = descriptor.pot_count;
    const int S = descriptor.switch_count;
    for (int i = 0; i < P && generation == gen; ++i)
        if (sliders[i]) sliders[i]->setValue(panel::sliderPositionForValue(value(i)));
    for (int i = P; i < P + S && generation == gen; ++i) {
        if (!switches[i]) continue;  // push buttons are left alone
        switches[i]->setChecked(panel::switchOnForValue(value(i)));
        if (generation == gen) update_state_caption(i);
    }
    for (int i = P + S; i < n() && generation == gen; ++i) {
        if (!multis[i]) continue;
        multis[i]->setCurrentIndex(panel::choiceForValue(value(i), descriptor.option_counts[i]));
    }
    emit q->valuesShown();
}

void TformFXParameters::Impl::setReverseParameters() {
    if (!built) return;
    const int gen = generation;
    for (int i = 0; i < n() && generation == gen; ++i)
        if (reverseBoxes[i]) reverseBoxes[i]->setChecked(parameterSettings().reverse_flags[i]);
}

void TformFXParameters::Impl::applyControlReport(const QByteArray& m) {
    if (!built || m.size() < 5) return;
    const int kind = static_cast<std::uint8_t>(m[1]);
    const int index = static_cast<std::uint8_t>(m[2]);
    const int high = static_cast<std::uint8_t>(m[3]);
    const int value = high * 256 + static_cast<std::uint8_t>(m[4]);
    if (index >= n()) return;  // no control there
    // The pedal's change is no user step; the values follow the controls after it.
    struct Follow {
        Impl& d;
        ~Follow() {
            d.syncFromControls();
            d.refreshTone();
        }
    } follow{*this};
    PedalMoveInProgress moving(*device);
    const int boundary = descriptor.pot_count + descriptor.switch_count;
    const bool potKind = kind <= 4 || kind == 11;
    if (potKind) {
        if (index < boundary) {
            if (!sliders[index]) return;
            sliders[index]->setValue(panel::sliderPositionForValue(value));
            if (kind != 11)
                DebugPrint(QStringLiteral("%1").arg(high * 256, 8, 16, QLatin1Char('0')).toUpper());
        } else if (multis[index]) {
            multis[index]->setCurrentIndex(
                panel::choiceForValue(value, descriptor.option_counts[index]));
        }
    } else if (kind >= 5 && kind <= 10) {
        const bool on = value != 0;
        if (switches[index]) {
            switches[index]->setChecked(on);
        } else if (buttons[index]) {
            buttons[index]->setDown(on);
        }
    }
}

}  // namespace zendal
