#pragma once

// What the keyboard and a screen reader see of a window: the controls Tab can
// reach, whether each has a name, and the order Tab visits them in.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QSet>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>

namespace zendal::test {

inline bool takesTabFocus(const QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

// Controls below `root` that Tab can reach (now or once enabled) but that
// have neither an accessible name nor a caption of their own.
inline QStringList unnamedControls(QWidget* root) {
    QStringList out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!takesTabFocus(w) || !w->isVisibleTo(root)) continue;
        // Inner parts of a composite control (a list's viewport) take no focus of their own.
        if (w->focusProxy()) continue;
        const auto* button = qobject_cast<QAbstractButton*>(w);
        const QString text = button ? button->text().remove(QLatin1Char('&')).trimmed() : QString();
        if (w->accessibleName().trimmed().isEmpty() && text.isEmpty()) {
            out.append(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                 : w->objectName());
        }
    }
    return out;
}

// The names of `wanted`, in the order the window's focus chain (Tab) visits them,
// starting from `first`.
inline QStringList tabOrder(QWidget* first, const QStringList& wanted) {
    QStringList out;
    QWidget* w = first;
    do {
        if (wanted.contains(w->objectName()) && !out.contains(w->objectName()))
            out.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w && w != first);
    return out;
}

// Controls a user works with (as opposed to labels, frames and containers).
inline bool isInteractive(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QTextEdit*>(w);
}

// The interactive controls of `window` that would show with it (hidden ones
// are out of reach for everybody, so out of scope). A scroll bar of a list is
// part of the list; a combo box's line edit is part of the box.
inline QList<QWidget*> interactiveControls(QWidget* window) {
    QList<QWidget*> out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!isInteractive(w) || !w->isVisibleTo(window) || w->window() != window) continue;
        if (w->focusProxy()) continue;
        bool inner = false;
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
            if (qobject_cast<QAbstractItemView*>(p) || qobject_cast<QComboBox*>(p) ||
                qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QAbstractScrollArea*>(p)) {
                inner = true;
                break;
            }
        }
        if (!inner) out.append(w);
    }
    return out;
}

// What a screen reader calls the control: its accessible name, else its text or
// the label it is the buddy of, as Qt's accessibility layer reports it.
inline QString spokenName(QWidget* w) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    return face ? face->text(QAccessible::Name).remove(QLatin1Char('&')).trimmed() : QString();
}

inline QString label(QWidget* w) {
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

// What a keyboard and screen-reader user would stumble on in `window`.
struct AccessibilityFindings {
    QStringList unnamed;      // controls with nothing to call them
    QStringList duplicates;   // "name: control, control" for names said twice
    QStringList unreachable;  // controls Tab never lands on (now or once enabled)
};

inline AccessibilityFindings inspect(QWidget* window) {
    AccessibilityFindings out;
    QSet<QWidget*> chain;
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
        chain.insert(w);
    QMap<QString, QStringList> byName;
    for (QWidget* w : interactiveControls(window)) {
        const QString name = spokenName(w);
        // A list read by its chosen entry alone has no name of its own.
        const auto* list = qobject_cast<QComboBox*>(w);
        if (list && !list->currentText().isEmpty() && name == list->currentText().trimmed()) {
            out.unnamed.append(label(w) + QStringLiteral(" (read as its entry)"));
        } else if (name.isEmpty()) {
            out.unnamed.append(label(w));
        } else {
            byName[name].append(label(w));
        }
        if (!takesTabFocus(w) || !chain.contains(w)) out.unreachable.append(label(w));
    }
    for (auto it = byName.cbegin(); it != byName.cend(); ++it) {
        if (it.value().size() > 1)
            out.duplicates.append(it.key() + QStringLiteral(": ") +
                                  it.value().join(QStringLiteral(", ")));
    }
    return out;
}

}  // namespace zendal::test
