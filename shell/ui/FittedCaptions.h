#pragma once

// Captions in fixed boxes that survive a larger font (the stage style's):
// what cannot fit is elided, and the whole text stays in the tooltip and, for
// a screen reader, in the accessible name.

#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;

namespace zendal::a11y {

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

}  // namespace zendal::a11y
