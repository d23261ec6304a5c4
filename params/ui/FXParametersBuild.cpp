// Building the parameter window's run-time controls from the descriptor, and
// destroying them when the window closes.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "params/Assignments.h"
#include "params/PanelGeometry.h"
#include "params/ui/FXParametersImpl.h"
#include "protocol/DeviceController.h"
#include "shell/ui/Accessibility.h"
#include "shell/ui/FittedCaptions.h"

namespace zendal {

namespace {

using geometry::Box;

template <typename W>
W* place(W* widget, const Box& box, int row, const QString& name) {
    widget->setGeometry(box.x, geometry::rowY(row), box.width, box.height);
    widget->setObjectName(name);
    return widget;
}

QLabel* caption(QWidget* parent, const Box& box, int row, const QString& name, const QString& text,
                bool hint) {
    auto* label = place(new QLabel(text, parent), box, row, name);
    if (hint) label->setToolTip(text);
    return label;
}

// A list with its entries and nothing selected (adding entries selects the first).
QComboBox* list(QWidget* parent, const Box& box, int row, const QString& name,
                const QStringList& entries, const QString& accessible, bool enabled) {
    auto* combo = place(a11y::namedList(parent, accessible), box, row, name);
    combo->addItems(entries);
    combo->setCurrentIndex(-1);
    combo->setEnabled(enabled);
    return combo;
}

}  // namespace

void TformFXParameters::Impl::build() {
    destroyControls();
    ++generation;
    const TControlDescriptor& d = descriptor;
    const bool enabled = device->selectedIsOnPedal();
    panel = new QWidget(q);
    panel->setObjectName(QStringLiteral("panel"));
    QWidget* p = panel;
    const int P = d.pot_count;
    const int S = d.switch_count;

    // Pots.
    for (int i = 0; i < P; ++i) {
        const QString text = d.captions[i];
        captions[i] =
            caption(p, geometry::kCaption, i, QStringLiteral("caption%1").arg(i), text, true);
        auto* slider = place(new QSlider(Qt::Horizontal, p), geometry::kSlider, i,
                             QStringLiteral("slider%1").arg(i));
        slider->setRange(0, 1023);
        a11y::describeSlider(slider, text);
        slider->setEnabled(enabled);
        QObject::connect(slider, &QSlider::valueChanged, q, [this, i] { PotParameterChange(i); });
        sliders[i] = slider;
    }

    button_toggle.fill(false);

    // Switch section: push buttons and on/off switches.
    for (int i = P; i < P + S; ++i) {
        const QString text = d.captions[i];
        captions[i] =
            caption(p, geometry::kCaption, i, QStringLiteral("caption%1").arg(i), text, false);
        if (d.is_button[i]) {
            stateCaptions[i] = caption(p, geometry::kStateCaption, i,
                                       QStringLiteral("state%1").arg(i), QString(), false);
            auto* button = place(new QPushButton(text, p), geometry::kPushButton, i,
                                 QStringLiteral("button%1").arg(i));
            button->setAccessibleName(text);
            a11y::fitCaption(button);
            button->setEnabled(enabled);
            QObject::connect(button, &QPushButton::clicked, q,
                             [this, i] { ButtonParameterClick(i); });
            buttons[i] = button;
        } else {
            stateCaptions[i] = caption(p, geometry::kStateCaption, i,
                                       QStringLiteral("state%1").arg(i), d.off_texts[i], false);
            auto* sw =
                place(new QCheckBox(p), geometry::kSwitch, i, QStringLiteral("switch%1").arg(i));
            sw->setAccessibleName(text);
            sw->setEnabled(enabled);
            QObject::connect(sw, &QCheckBox::toggled, q, [this, i] { SwitchParameterOnSwitch(i); });
            switches[i] = sw;
        }
    }

    // Multi-switches.
    for (int i = P + S; i < n(); ++i) {
        const QString text = d.captions[i];
        auto* label =
            caption(p, geometry::kMultiCaption, i, QStringLiteral("caption%1").arg(i), text, false);
        label->setWordWrap(true);
        captions[i] = label;
        auto* combo = list(p, geometry::kChoiceList, i, QStringLiteral("multi%1").arg(i),
                           d.options[i], text, enabled);
        QObject::connect(combo, &QComboBox::currentIndexChanged, q,
                         [this, i] { MultiSwitchOnChange(i); });
        multis[i] = combo;
    }

    // Assignment lists.
    for (int i = 0; i < n(); ++i) {
        auto* combo = list(p, geometry::kAssignList, i, QStringLiteral("assign%1").arg(i),
                           assign::assignTargets(),
                           QStringLiteral("Assignment of ") + d.captions[i], enabled);
        QObject::connect(combo, &QComboBox::currentIndexChanged, q,
                         [this, i] { boxAssignOnChange(i); });
        assignLists[i] = combo;
    }

    separator = new QFrame(p);
    separator->setObjectName(QStringLiteral("separator"));
    separator->setFrameShape(QFrame::VLine);
    separator->setGeometry(geometry::kSeparatorX, geometry::kSeparatorY, geometry::kSeparatorWidth,
                           geometry::separatorHeight(n()));

    // Function rows.
    const QString bypassText = QStringLiteral("Bypass Toggle");
    bypassCaption = caption(p, geometry::kCaption, geometry::bypassRow(n()),
                            QStringLiteral("captionBypass"), bypassText, true);
    bypassList =
        list(p, geometry::kFunctionList, geometry::bypassRow(n()), QStringLiteral("boxBypass"),
             assign::functionTargets(), QStringLiteral("Assignment of ") + bypassText, enabled);
    bypassList->setToolTip(assign::functionHint());
    QObject::connect(bypassList, &QComboBox::currentIndexChanged, q,
                     [this] { boxAssignBypassOnChange(); });

    const QString presetText =
        device->bankMode() ? QStringLiteral("Bank Select") : QStringLiteral("Preset Change");
    presetCaption = caption(p, geometry::kCaption, geometry::presetRow(n()),
                            QStringLiteral("captionPreset"), presetText, true);
    presetList =
        list(p, geometry::kFunctionList, geometry::presetRow(n()), QStringLiteral("boxPreset"),
             assign::functionTargets(), QStringLiteral("Assignment of ") + presetText, enabled);
    presetList->setToolTip(assign::functionHint());
    QObject::connect(presetList, &QComboBox::currentIndexChanged, q,
                     [this] { boxAssignPresetOnChange(); });
    built = true;
    DisableBypassAndPresetAssignInBankMode();

    // Readbacks.
    for (int j = 0; j < r(); ++j) {
        const QString text = d.readback_names[j];
        const int row = geometry::readbackRow(n(), j);
        readbackCaptions[j] =
            caption(p, geometry::kCaption, row, QStringLiteral("readback%1").arg(j), text, true);
        auto* combo = list(p, geometry::kLedList, row, QStringLiteral("led%1").arg(j),
                           assign::ledTargets(), QStringLiteral("LED for ") + text, enabled);
        QObject::connect(combo, &QComboBox::currentIndexChanged, q,
                         [this, j] { boxAssignRdbcksOnChange(j); });
        ledLists[j] = combo;
    }

    // Reverse check boxes: usable only while their parameter is assigned.
    for (int i = 0; i < n(); ++i) {
        auto* box =
            place(new QCheckBox(p), geometry::kReverseBox, i, QStringLiteral("reverse%1").arg(i));
        box->setToolTip(QStringLiteral("Toggle the Reverse function for the current parameter"));
        box->setAccessibleName(QStringLiteral("Reverse ") + d.captions[i]);
        box->setEnabled(false);
        QObject::connect(box, &QCheckBox::toggled, q, [this, i] { ReverseCheckBoxOnClick(i); });
        reverseBoxes[i] = box;
    }

    // Tab walks the rows as they read: each parameter's value control,
    // assignment list and reverse box, then the function and LED lists.
    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* w) {
        if (!w) return;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    };
    for (int i = 0; i < n(); ++i) {
        chain(sliders[i]);
        chain(switches[i]);
        chain(buttons[i]);
        chain(multis[i]);
        chain(assignLists[i]);
        chain(reverseBoxes[i]);
    }
    chain(bypassList);
    chain(presetList);
    for (int j = 0; j < r(); ++j) chain(ledLists[j]);
    buildToneTools();
    panel->show();
}

void TformFXParameters::Impl::destroyControls() {
    if (built || panel) ++generation;
    built = false;
    sliders.fill(nullptr);
    switches.fill(nullptr);
    buttons.fill(nullptr);
    multis.fill(nullptr);
    captions.fill(nullptr);
    stateCaptions.fill(nullptr);
    assignLists.fill(nullptr);
    reverseBoxes.fill(nullptr);
    readbackCaptions.fill(nullptr);
    ledLists.fill(nullptr);
    bypassList = presetList = nullptr;
    bypassCaption = presetCaption = nullptr;
    separator = nullptr;
    editButton = slotA = slotB = copyButton = matrixButton = nullptr;
    notesLabel = nullptr;
    matrix = nullptr;
    matrixShown.reset();
    valueMarks.fill(nullptr);
    listMarks.fill(nullptr);
    ledMarks.fill(nullptr);
    bypassMark = presetMark = nullptr;
    if (panel) {
        // Block the controls' change signals while they go.
        QWidget* old = panel;
        panel = nullptr;
        old->blockSignals(true);
        for (QWidget* w : old->findChildren<QWidget*>()) w->blockSignals(true);
        delete old;
    }
}

}  // namespace zendal
