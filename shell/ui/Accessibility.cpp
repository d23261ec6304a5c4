#include "shell/ui/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QAction>
#include <QComboBox>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

namespace zendal::a11y {

QString sliderValueText(int value, int maximum) {
    const int percent = maximum > 0 ? (value * 100 + maximum / 2) / maximum : 0;
    return QStringLiteral("%1 of %2 (%3%)").arg(value).arg(maximum).arg(percent);
}

namespace {

// Where the handle is, so the value shows next to the thumb being dragged.
QPoint handleCentre(const QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderHandle, slider);
    return handle.isValid() ? handle.center() : slider->rect().center();
}

void showValue(QSlider* slider) {
    const QString text = sliderValueText(slider->value(), slider->maximum());
    slider->setToolTip(text);
    if (slider->isSliderDown() && slider->isVisible()) {
        QToolTip::showText(slider->mapToGlobal(handleCentre(slider)), text, slider);
    }
}

}  // namespace

namespace {

// Its own class, so the accessibility layer asks for it before Qt's list box.
class NamedList : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;
};

// A list box that says its name, its chosen entry as its value, and offers its
// entries as a child list, as Qt's own list box does.
class NamedListAccessible : public QAccessibleWidget {
  public:
    explicit NamedListAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return box()->accessibleName().isEmpty() ? box()->currentText()
                                                         : box()->accessibleName();
            case QAccessible::Value:
                return box()->currentText();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == box()->view() ? 0 : -1;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            box()->showPopup();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

  private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* namedListFactory(const QString& className, QObject* object) {
    if (className != QLatin1String(NamedList::staticMetaObject.className())) return nullptr;
    auto* box = qobject_cast<NamedList*>(object);
    return box ? new NamedListAccessible(box) : nullptr;
}

}  // namespace

QComboBox* namedList(QWidget* parent, const QString& name) {
    static const bool installed = [] {
        QAccessible::installFactory(namedListFactory);
        return true;
    }();
    Q_UNUSED(installed);
    auto* list = new NamedList(parent);
    list->setAccessibleName(name);
    list->view()->setAccessibleName(name);  // its entries, as they drop down
    return list;
}

void describeSlider(QSlider* slider, const QString& caption) {
    slider->setAccessibleName(caption);
    showValue(slider);
    QObject::connect(slider, &QSlider::valueChanged, slider, [slider] { showValue(slider); });
    QObject::connect(slider, &QSlider::sliderPressed, slider, [slider] { showValue(slider); });
}

void closeOnEscape(QWidget* window) {
    auto* close = new QAction(window);
    close->setObjectName(QStringLiteral("keyCloseWindow"));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
}

}  // namespace zendal::a11y

#include "Accessibility.moc"
