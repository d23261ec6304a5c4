#pragma once

// What a screen reader and a sighted user learn of a control beyond its look:
// names in the user's words and values they can read.

#include <QString>

class QComboBox;
class QSlider;
class QWidget;

namespace zendal::a11y {

// "512 of 1023 (50%)": a slider's position in the pedal's range and as a share of it.
QString sliderValueText(int value, int maximum);

// Names `slider` after its parameter's caption and keeps its tooltip (and so
// the description a screen reader reads) in step with its value; while it is
// dragged, the value shows beside it.
void describeSlider(QSlider* slider, const QString& caption);

// A list box with a name. Qt on Linux reads a plain list box by its current
// entry alone ("--"), which leaves the user guessing which list it is; this
// one is read by its name, with the chosen entry as its value.
QComboBox* namedList(QWidget* parent, const QString& name);

// Escape closes `window` (a secondary window that has no dialog buttons).
void closeOnEscape(QWidget* window);

}  // namespace zendal::a11y
