#pragma once

// What the keyboard and a screen reader see of a window: the controls Tab can
// reach, whether each has a name, and the order Tab visits them in.

#include <QAbstractButton>
#include <QStringList>
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

}  // namespace zendal::test
