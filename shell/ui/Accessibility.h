#pragma once

// What a screen reader and a sighted user learn of a control beyond its look:
// names in the user's words and values they can read.

#include <QString>

class QComboBox;
class QLabel;
class QAbstractButton;
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

// Keeps a button's or box's caption inside its fixed box whatever the style's
// font: where it cannot fit, it is elided and the whole caption goes to the
// tooltip and the accessible name.
void fitCaption(QAbstractButton* button);

// A one-line label whose text the program changes (a device name, a state):
// where the text does not fit the label's fixed box it is drawn elided, and
// the whole text is in its tooltip (a screen reader reads it whole anyway).
QLabel* elidingLabel(const QString& text, QWidget* parent);

// The width a button or box has for its caption (borders, padding and the
// check mark taken off).
int captionWidth(const QAbstractButton* button);

// Escape closes `window` (a secondary window that has no dialog buttons).
void closeOnEscape(QWidget* window);

}  // namespace zendal::a11y
