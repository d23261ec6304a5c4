// Tone editing in the parameter window: undo and redo, the marks of controls
// that differ from the stored values, Revert to Stored, A/B compare, the
// assignment matrix, and the question before unstored changes are left.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "core/Clock.h"
#include "core/Log.h"
#include "link/FrameCodec.h"
#include "params/AssignmentMatrix.h"
#include "params/Assignments.h"
#include "params/PanelGeometry.h"
#include "params/PanelMessages.h"
#include "params/SettingsRecord.h"
#include "params/ui/FXParametersImpl.h"
#include "protocol/DeviceController.h"
#include "protocol/Messages.h"
#include "protocol/PedalSequences.h"
#include "shell/Prompt.h"
#include "shell/ui/Accessibility.h"
#include "shell/ui/FittedCaptions.h"

namespace zendal {

using tone::ControlRef;
using Field = tone::ControlRef::Field;

namespace {

constexpr int kMarkWidth = 14;
constexpr int kValueMarkX = 264;  // between the value control and the separator
constexpr int kListMarkX = 402;   // after the reverse box
constexpr int kMatrixCell = 30;   // one matrix column
constexpr int kLedSpan = 2;       // LED columns are two wide: "GREEN"
constexpr int kMatrixX = geometry::kWindowWidth + 6;
constexpr int kMatrixWidth = kMatrixCell * 12 + 10;
const QString kMarkText = QStringLiteral("\u25CF");

QLabel* mark(QWidget* parent, int x, int row, const QString& name) {
    auto* label = new QLabel(kMarkText, parent);
    label->setObjectName(name);
    label->setGeometry(x, geometry::rowY(row), kMarkWidth, 20);
    label->setStyleSheet(QStringLiteral("color: #d07000;"));
    label->setToolTip(tone::changedSinceStoredDescription());
    label->setAccessibleName(tone::changedSinceStoredDescription());
    label->hide();
    return label;
}

QPushButton* toolButton(QWidget* parent, const QString& name, const QString& text, int x, int width,
                        int row) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(x, geometry::rowY(row), width, 20);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

}  // namespace

void TformFXParameters::Impl::createToneActions() {
    if (undoAction) return;
    undoAction = new QAction(QStringLiteral("Undo"), q);
    undoAction->setObjectName(QStringLiteral("actionUndo"));
    undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction = new QAction(QStringLiteral("Redo"), q);
    redoAction->setObjectName(QStringLiteral("actionRedo"));
    redoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    revertAction = new QAction(QStringLiteral("Revert to Stored"), q);
    revertAction->setObjectName(QStringLiteral("actionRevertToStored"));
    for (QAction* a : {undoAction, redoAction, revertAction}) {
        a->setShortcutContext(Qt::WindowShortcut);
        a->setEnabled(false);
        q->addAction(a);
    }
    QObject::connect(undoAction, &QAction::triggered, q, [this] { undo(); });
    QObject::connect(redoAction, &QAction::triggered, q, [this] { redo(); });
    QObject::connect(revertAction, &QAction::triggered, q, [this] { revertToStored(); });
}

void TformFXParameters::Impl::buildToneTools() {
    createToneActions();
    QWidget* p = panel;
    const int tools = geometry::readbackRow(n(), r());
    const int notes = tools + 1;

    editButton = toolButton(p, QStringLiteral("menuEdit"), QStringLiteral("Edit"), 10, 60, tools);
    auto* menu = new QMenu(editButton);
    menu->addAction(undoAction);
    menu->addAction(redoAction);
    menu->addSeparator();
    menu->addAction(revertAction);
    editButton->setMenu(menu);

    slotA = toolButton(p, QStringLiteral("btnSlotA"), QStringLiteral("A"), 80, 30, tools);
    slotB = toolButton(p, QStringLiteral("btnSlotB"), QStringLiteral("B"), 112, 30, tools);
    slotA->setCheckable(true);
    slotB->setCheckable(true);
    QObject::connect(slotA, &QPushButton::clicked, q, [this] { selectSlot(tone::AbSlot::A); });
    QObject::connect(slotB, &QPushButton::clicked, q, [this] { selectSlot(tone::AbSlot::B); });
    slotA->setAccessibleName(QStringLiteral("Compare slot A"));
    slotB->setAccessibleName(QStringLiteral("Compare slot B"));
    copyButton =
        toolButton(p, QStringLiteral("btnCopyToB"), QStringLiteral("Copy to B"), 150, 120, tools);
    QObject::connect(copyButton, &QPushButton::clicked, q, [this] { copyToOtherSlot(); });
    matrixButton =
        toolButton(p, QStringLiteral("btnMatrix"), QStringLiteral("Matrix"), 300, 70, tools);
    matrixButton->setCheckable(true);
    matrixButton->setToolTip(QStringLiteral("All assignments at a glance"));
    QObject::connect(matrixButton, &QPushButton::toggled, q, [this](bool on) { showMatrix(on); });

    notesLabel = a11y::elidingLabel(QString(), p);
    notesLabel->setObjectName(QStringLiteral("assignmentNotes"));
    notesLabel->setGeometry(10, geometry::rowY(notes), 400, 20);
    notesLabel->setStyleSheet(QStringLiteral("color: #d07000;"));

    for (int i = 0; i < n(); ++i) {
        valueMarks[i] = mark(p, kValueMarkX, i, QStringLiteral("changed%1").arg(i));
        listMarks[i] = mark(p, kListMarkX, i, QStringLiteral("changedAssign%1").arg(i));
    }
    bypassMark = mark(p, 380, geometry::bypassRow(n()), QStringLiteral("changedBypass"));
    presetMark = mark(p, 380, geometry::presetRow(n()), QStringLiteral("changedPreset"));
    for (int j = 0; j < r(); ++j)
        ledMarks[j] =
            mark(p, 380, geometry::readbackRow(n(), j), QStringLiteral("changedLed%1").arg(j));

    for (int i = 0; i < n(); ++i)
        if (sliders[i])
            QObject::connect(sliders[i], &QSlider::sliderReleased, q, [this] {
                history.endDrag();
                refreshTone();
            });
}

void TformFXParameters::Impl::resetTone() {
    values.reset(descriptor);
    history.clear();
    stored.clear();
    ab.clear();
    usable = device->selectedIsOnPedal();
    baseCaption = q->windowTitle();
    syncFromControls();
    refreshTone();
}

tone::PanelSnapshot TformFXParameters::Impl::shownSnapshot() const {
    // Push buttons keep what they last sent (or what the pedal reported):
    // nothing on the button shows a value.
    tone::PanelSnapshot s = values.current();
    const TParameterSettings& settings = parameterSettings();
    for (int i = 0; i < n(); ++i) {
        if (sliders[i]) s.set(tone::valueOf(i), sliders[i]->value());
        if (switches[i]) s.set(tone::valueOf(i), panel::switchValue(switches[i]->isChecked()));
        if (multis[i] && multis[i]->currentIndex() >= 0)
            s.set(tone::valueOf(i),
                  panel::multiValue(multis[i]->currentIndex(), descriptor.option_counts[i]));
        if (assignLists[i])
            s.set(tone::assignmentOf(i),
                  assign::assignByteForIndex(assignLists[i]->currentIndex()));
        if (reverseBoxes[i]) s.set(tone::reverseOf(i), reverseBoxes[i]->isChecked());
    }
    for (int j = 0; j < r(); ++j)
        if (ledLists[j])
            s.set(tone::ledOf(j), assign::ledByteForIndex(ledLists[j]->currentIndex()));
    s.bypassFunction = settings.bypass_assignment;
    s.presetFunction = settings.preset_assignment;
    return s;
}

void TformFXParameters::Impl::userChanged(ControlRef ref, qint64 value, bool dragging) {
    if (!built || quiet > 0) return;
    if (device->requestInProgress() || device->pedalMoveInProgress()) return;
    history.change(ref, value, dragging);  // the control has sent its message already
    refreshTone();
}

void TformFXParameters::Impl::syncFromControls() {
    if (!built) return;
    values.moveTo(shownSnapshot());  // what the controls show was sent already
}

void TformFXParameters::Impl::showSnapshot(const tone::PanelSnapshot& s) {
    if (!built) return;
    ++quiet;
    TParameterSettings& settings = parameterSettings();
    if (settings.param_values.size() < n()) settings.param_values.resize(n());
    for (int i = 0; i < n(); ++i) {
        const qint64 v = s.get(tone::valueOf(i));
        settings.param_values[i] = static_cast<qint32>(v);
        if (sliders[i]) {
            const QSignalBlocker block(sliders[i]);
            sliders[i]->setValue(panel::sliderPositionForValue(v));
        }
        if (switches[i]) {
            const QSignalBlocker block(switches[i]);
            switches[i]->setChecked(panel::switchOnForValue(v));
            update_state_caption(i);
        }
        if (buttons[i]) button_toggle[i] = panel::switchOnForValue(v);
        if (multis[i]) {
            const QSignalBlocker block(multis[i]);
            multis[i]->setCurrentIndex(panel::choiceForValue(v, descriptor.option_counts[i]));
        }
        const int byte = static_cast<int>(s.get(tone::assignmentOf(i)));
        settings.assignments[i] = byte;
        if (assignLists[i]) {
            const QSignalBlocker block(assignLists[i]);
            assignLists[i]->setCurrentIndex(assign::assignIndexForByte(byte));
        }
        const bool reversed = s.get(tone::reverseOf(i)) != 0;
        settings.reverse_flags[i] = reversed;
        if (reverseBoxes[i]) {
            const QSignalBlocker block(reverseBoxes[i]);
            reverseBoxes[i]->setChecked(reversed);
            reverseBoxes[i]->setEnabled(usable && byte != assign::kNotAssigned);
        }
    }
    for (int j = 0; j < r(); ++j) {
        const int byte = static_cast<int>(s.get(tone::ledOf(j)));
        settings.led_assignments[j] = byte;
        if (ledLists[j]) {
            const QSignalBlocker block(ledLists[j]);
            ledLists[j]->setCurrentIndex(assign::ledIndexForByte(byte));
        }
    }
    // In bank mode the function lists stay where the bank-mode rule put them.
    if (!device->bankMode()) {
        settings.bypass_assignment = static_cast<std::uint8_t>(s.bypassFunction);
        settings.preset_assignment = static_cast<std::uint8_t>(s.presetFunction);
        if (bypassList) {
            const QSignalBlocker block(bypassList);
            bypassList->setCurrentIndex(assign::functionIndexForByte(s.bypassFunction));
        }
        if (presetList) {
            const QSignalBlocker block(presetList);
            presetList->setCurrentIndex(assign::functionIndexForByte(s.presetFunction));
        }
    }
    --quiet;
    syncFromControls();  // in bank mode the function lists did not move
}

void TformFXParameters::Impl::sendPlanned(const QVector<tone::PlannedMessage>& planned) {
    for (const tone::PlannedMessage& m : planned) {
        if (!m.logLine.isEmpty()) {
            if (m.scrolls)
                DebugPrint(m.logLine);
            else
                DebugAppend(m.logLine);
        }
        SendHexMessage(m.text, static_cast<int>(m.text.size() / 2));
        if (m.logLine.startsWith(QLatin1String("data sent pot")))
            clock().pause(messages::kPotPauseMs);
    }
}

// Undo, redo, revert and A/B write to the pedal: never in the middle of an
// exchange (a request waiting for its reply processes events) or while disabled.
bool TformFXParameters::Impl::canSendNow() const {
    return built && usable && quiet == 0 && !device->requestInProgress();
}

void TformFXParameters::Impl::undo() {
    if (!canSendNow() || !history.canUndo()) return;
    const QVector<tone::PlannedMessage> planned = history.undo();
    showSnapshot(values.current());
    sendPlanned(planned);
    refreshTone();
}

void TformFXParameters::Impl::redo() {
    if (!canSendNow() || !history.canRedo()) return;
    const QVector<tone::PlannedMessage> planned = history.redo();
    showSnapshot(values.current());
    sendPlanned(planned);
    refreshTone();
}

void TformFXParameters::Impl::revertToStored() {
    if (!canSendNow() || !stored.known()) return;
    const QVector<tone::PlannedMessage> planned = history.changeAll(
        stored.revertTarget(values.current()), QStringLiteral("Revert to Stored"));
    showSnapshot(values.current());
    sendPlanned(planned);
    refreshTone();
}

void TformFXParameters::Impl::selectSlot(tone::AbSlot slot) {
    if (canSendNow() && slot != ab.live()) {
        if (const auto target = ab.toggle(values.current())) {
            const QVector<tone::PlannedMessage> planned = values.moveTo(*target);
            showSnapshot(values.current());
            sendPlanned(planned);
            DebugPrint(QStringLiteral("Compare: slot ") + tone::abSlotName(ab.live()) +
                       QStringLiteral(" live"));
        }
    }
    refreshTone();  // a click on the live slot leaves it checked
}

void TformFXParameters::Impl::copyToOtherSlot() {
    if (!built) return;
    ab.copyToOther(values.current());
    refreshTone();
}

void TformFXParameters::Impl::settingsStored() {
    if (!built) return;
    stored.remember(values.current());
    refreshTone();
}

bool TformFXParameters::Impl::storeOnPedal() {
    const QString text = messages::storeSettings(n());
    DebugPrint(QStringLiteral("Store settings message (HEX): ") + text);
    bool ok = false;
    if (connection) {
        ok = sequences::storeSettings(*connection, n()).ok();
    } else {
        ok = SendHexMessage(text, 2);
        clock().pause(messages::kStorePauseMs);
    }
    if (!ok) {
        DebugPrint(QStringLiteral("settings not stored: the pedal is busy or gone"));
        return false;
    }
    settingsStored();
    return true;
}

bool TformFXParameters::Impl::confirmLeavingUnstored() {
    if (!built || !stored.hasUnstoredChanges(descriptor, values.current())) return true;
    const QString text = QStringLiteral("The settings of ") + baseCaption +
                         QStringLiteral(" have unstored changes.");
    switch (prompt().unstoredChanges(text)) {
        case Prompt::UnstoredChoice::Store:
            return storeOnPedal();
        case Prompt::UnstoredChoice::Discard:
            return true;
        case Prompt::UnstoredChoice::Cancel:
            return false;
    }
    return false;
}

void TformFXParameters::Impl::refreshTone() {
    if (!built) return;
    const tone::PanelSnapshot& now = values.current();
    // A screen reader reads the description; without one, the tooltip.
    auto describe = [](QWidget* w, bool differs) {
        if (!w) return;
        QString text;
        if (differs) {
            text = tone::changedSinceStoredDescription();
            if (!w->toolTip().isEmpty()) text += QStringLiteral(". ") + w->toolTip();
        }
        if (w->accessibleDescription() != text) w->setAccessibleDescription(text);
    };
    auto show = [&](QLabel* markLabel, std::initializer_list<QWidget*> controls, bool differs) {
        if (markLabel) markLabel->setVisible(differs);
        for (QWidget* w : controls) describe(w, differs);
    };
    for (int i = 0; i < n(); ++i) {
        const bool valueDiffers = stored.differs(descriptor, now, tone::valueOf(i));
        if (QSlider* slider = sliders[i]) {
            // The slider's tooltip tells its value (and so its description): the note follows it.
            QString tip = a11y::sliderValueText(slider->value(), slider->maximum());
            if (valueDiffers) tip += QStringLiteral(" - ") + tone::changedSinceStoredDescription();
            if (slider->toolTip() != tip) slider->setToolTip(tip);
        }
        show(valueMarks[i], {switches[i], buttons[i], multis[i]}, valueDiffers);
        show(listMarks[i], {assignLists[i]},
             stored.differs(descriptor, now, tone::assignmentOf(i)) ||
                 stored.differs(descriptor, now, tone::reverseOf(i)));
        describe(reverseBoxes[i], stored.differs(descriptor, now, tone::reverseOf(i)));
    }
    for (int j = 0; j < r(); ++j)
        show(ledMarks[j], {ledLists[j]}, stored.differs(descriptor, now, tone::ledOf(j)));
    show(bypassMark, {bypassList}, stored.differs(descriptor, now, {Field::BypassFunction, 0}));
    show(presetMark, {presetList}, stored.differs(descriptor, now, {Field::PresetFunction, 0}));

    const bool unstored = stored.hasUnstoredChanges(descriptor, now);
    if (!baseCaption.isEmpty())
        q->setWindowTitle(tone::captionWithStoredState(baseCaption, unstored));

    if (undoAction) {
        undoAction->setEnabled(usable && history.canUndo());
        undoAction->setText(history.canUndo() ? QStringLiteral("Undo ") + history.undoText()
                                              : QStringLiteral("Undo"));
        redoAction->setEnabled(usable && history.canRedo());
        redoAction->setText(history.canRedo() ? QStringLiteral("Redo ") + history.redoText()
                                              : QStringLiteral("Redo"));
        revertAction->setEnabled(usable && unstored);
    }
    if (slotA && slotB) {
        slotA->setChecked(ab.live() == tone::AbSlot::A);
        slotB->setChecked(ab.live() == tone::AbSlot::B);
        slotA->setEnabled(usable && (ab.live() == tone::AbSlot::A || ab.hasOther()));
        slotB->setEnabled(usable && (ab.live() == tone::AbSlot::B || ab.hasOther()));
        copyButton->setText(QStringLiteral("Copy to ") + tone::abSlotName(ab.other()));
        copyButton->setEnabled(usable);
        editButton->setEnabled(usable);
        matrixButton->setEnabled(true);
    }
    refreshMatrix();
}

void TformFXParameters::Impl::showMatrix(bool on) {
    if (!built) return;
    const int extra = kMatrixX - geometry::kWindowWidth + kMatrixWidth;
    const int width = geometry::kWindowWidth + (on ? extra : 0);
    q->setFixedWidth(width);
    panel->setGeometry(q->rect());
    if (matrix) matrix->setVisible(on);
    refreshMatrix();
}

void TformFXParameters::Impl::refreshMatrix() {
    if (!built) return;
    const tone::AssignmentMatrix m =
        tone::buildAssignmentMatrix(descriptor, values.current(), device->bankMode());
    if (notesLabel) {
        notesLabel->setText(m.notes.join(u' '));
        notesLabel->setToolTip(m.notes.join(u'\n'));
    }
    if (!matrixButton || !matrixButton->isChecked()) return;
    // A slider drag changes no assignment: the cells stay as they are.
    if (matrix && matrixShown == m) return;
    matrixShown = m;
    if (!matrix) {
        matrix = new QWidget(panel);
        matrix->setObjectName(QStringLiteral("assignmentMatrix"));
        matrix->setGeometry(kMatrixX, 0, kMatrixWidth, q->height());
        matrix->show();
    }
    for (QWidget* old : matrix->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) delete old;
    auto place = [&](QLabel* label, int column, int span, int row) {
        label->setGeometry(column * span * kMatrixCell, geometry::rowY(row), span * kMatrixCell,
                           20);
        label->setAlignment(Qt::AlignCenter);
        label->show();
    };
    auto rowCells = [&](const tone::MatrixRow& row, int at, const QStringList& columns, int span) {
        for (int c = 0; c < columns.size(); ++c) {
            const bool used = row.column == c;
            auto* label = new QLabel(used ? kMarkText : QStringLiteral("\u00B7"), matrix);
            label->setToolTip(row.name + QStringLiteral(": ") + columns[c]);
            if (used && row.shared)
                label->setStyleSheet(QStringLiteral("color: #d07000; font-weight: bold;"));
            place(label, c, span, at);
        }
    };
    for (int i = 0; i < m.parameterRows.size(); ++i)
        rowCells(m.parameterRows[i], i, m.controlColumns, 1);
    rowCells(m.functionRows[0], geometry::bypassRow(n()), m.controlColumns, 1);
    rowCells(m.functionRows[1], geometry::presetRow(n()), m.controlColumns, 1);
    for (int j = 0; j < m.readbackRows.size(); ++j)
        rowCells(m.readbackRows[j], geometry::readbackRow(n(), j), m.ledColumns, kLedSpan);
    // Column names under the rows: the controls, then the LEDs of the readback rows.
    const int header = geometry::readbackRow(n(), r());
    for (int c = 0; c < m.controlColumns.size(); ++c)
        place(a11y::elidingLabel(m.controlColumns[c], matrix), c, 1, header);
    if (r() > 0)
        for (int c = 0; c < m.ledColumns.size(); ++c)
            place(a11y::elidingLabel(m.ledColumns[c], matrix), c, kLedSpan, header + 1);
}

}  // namespace zendal
