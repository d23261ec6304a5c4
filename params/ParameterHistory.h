#pragma once

#include <QString>
#include <QVector>
#include <optional>

#include "params/ParameterValues.h"

// Undo and redo of the user's changes in the parameter window.
//
// The library it lives in has no windows and links QtCore only (zendalctl and
// the window-free tests use it), so this keeps its own list of steps instead of
// QUndoStack from QtGui; the rules are QUndoStack's: pushing drops what could
// be redone, and a step of the same control merges into the one before while a
// slider drag lasts.
namespace zendal::tone {

struct FieldChange {
    ControlRef ref;
    qint64 before = 0;
    qint64 after = 0;
};

struct HistoryStep {
    QString text;
    QVector<FieldChange> changes;
};

class ParameterHistory {
  public:
    explicit ParameterHistory(ParameterValues& values) : values_(values) {}

    // A change made by the user: applied to the values and made one step.
    // While `dragging`, changes of the same control merge into one step until
    // endDrag(). Returns what the control sends.
    QVector<PlannedMessage> change(ControlRef ref, qint64 value, bool dragging = false);
    // The drag boundary: the next change starts a step of its own.
    void endDrag();
    // Every control to `target` as one step (revert to stored); returns what is sent.
    QVector<PlannedMessage> changeAll(const PanelSnapshot& target, const QString& text);
    // Records as one step what the window already did and sent (a preset load
    // through its controls): from `before` to the values as they are now.
    void recordSince(const PanelSnapshot& before, const QString& text);

    // The values of the step's controls go back to what the user had before
    // it (or forward to what the user set), whatever the pedal did meanwhile.
    // Returns the messages of the controls that change.
    QVector<PlannedMessage> undo();
    QVector<PlannedMessage> redo();

    bool canUndo() const { return index_ > 0; }
    bool canRedo() const { return index_ < steps_.size(); }
    QString undoText() const { return canUndo() ? steps_[index_ - 1].text : QString(); }
    QString redoText() const { return canRedo() ? steps_[index_].text : QString(); }
    int count() const { return int(steps_.size()); }
    int index() const { return index_; }
    const QVector<HistoryStep>& steps() const { return steps_; }

    // The effect changed: nothing to undo or redo.
    void clear();

    // A short name of a control for a step's text ("Gain", "Gain assignment").
    QString describe(ControlRef ref) const;

  private:
    void push(const PanelSnapshot& before, const QString& text, std::optional<ControlRef> drag);
    QVector<PlannedMessage> travel(const HistoryStep& step, bool back);

    ParameterValues& values_;
    QVector<HistoryStep> steps_;
    int index_ = 0;
    std::optional<ControlRef> openDrag_;  // the control whose drag the last step holds
};

}  // namespace zendal::tone
