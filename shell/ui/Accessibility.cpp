#include "shell/ui/Accessibility.h"

#include <QAction>
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
