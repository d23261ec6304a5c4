#pragma once

#include <QString>
#include <QStringList>

// Appearance styles: Qt style sheets carried as the resources STYLE_0 ..
// STYLE_7, applied to the whole application at once.
namespace zendal {

constexpr int kStyleCount = 8;      // STYLE_0 .. STYLE_7
constexpr int kLookMenuStyles = 7;  // the Look menu offers 0 .. 6

// Applies the resource "Style_" + n (names ignore case) to every window.
// False, and nothing changes, when there is no such style or no application.
bool applyStyle(int n);

// Applies the style stored in style.txt; style 0 when the file is missing or
// does not hold a whole number. False when that style does not exist.
bool ApplyStoredStyle();

// The style's name from the first comment line of its sheet ("Dark"); empty
// when the style is missing or names itself nowhere.
QString styleName(int n);
// Names of styles 0 .. 7 (for tooltips of the Look menu).
QStringList styleNames();

// The name from a style sheet's first line, e.g. "/* Dark */" or
// "/* Style 1: Dark - for dim rooms */" give "Dark" and "Dark - for dim rooms".
QString styleNameFromSheet(const QByteArray& sheet);

}  // namespace zendal
