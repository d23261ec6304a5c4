#include "shell/ui/FittedCaptions.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <utility>

namespace zendal::a11y {

int captionWidth(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
    if (qobject_cast<const QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
    return button->style()->subElementRect(contents, &option, button).width();
}

namespace {

// Elides the caption again whenever the font, the style or the size changes.
class CaptionFitter : public QObject {
  public:
    CaptionFitter(QAbstractButton* button, QString caption)
        : QObject(button), button_(button), caption_(std::move(caption)) {
        button->installEventFilter(this);
        fit();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == button_) {
            switch (event->type()) {
                case QEvent::FontChange:
                case QEvent::StyleChange:
                case QEvent::Resize:
                case QEvent::Polish:
                case QEvent::Show:
                    fit();
                    break;
                default:
                    break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void fit() {
        // Until it shows, a button has no size of its own to fit: it keeps its caption whole.
        const QString shown =
            button_->isVisible()
                ? button_->fontMetrics().elidedText(caption_, Qt::ElideRight, captionWidth(button_))
                : caption_;
        if (shown != button_->text()) button_->setText(shown);
        // The tooltip carries the whole caption only while it is cut.
        if (shown != caption_) {
            button_->setToolTip(caption_);
        } else if (button_->toolTip() == caption_) {
            button_->setToolTip(QString());
        }
    }

    QAbstractButton* button_;
    QString caption_;
};

}  // namespace

void fitCaption(QAbstractButton* button) {
    const QString caption = button->text();
    if (button->accessibleName().isEmpty()) button->setAccessibleName(caption);
    new CaptionFitter(button, caption);
}

namespace {

// Elided at paint time, so whatever sets the text later need not know.
class ElidingLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent* event) override {
        const QRect box = contentsRect();
        const QString full = text();
        const QString shown = fontMetrics().elidedText(full, Qt::ElideRight, box.width());
        if (shown == full) {
            if (toolTip() == elidedFrom_) setToolTip(QString());
            elidedFrom_.clear();
            QLabel::paintEvent(event);
            return;
        }
        if (elidedFrom_ != full) {
            elidedFrom_ = full;
            setToolTip(full);
        }
        QPainter painter(this);
        drawFrame(&painter);
        style()->drawItemText(&painter, box,
                              QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                              isEnabled(), shown, foregroundRole());
    }

  private:
    QString elidedFrom_;
};

}  // namespace

QLabel* elidingLabel(const QString& text, QWidget* parent) {
    return new ElidingLabel(text, parent);
}

}  // namespace zendal::a11y

#include "FittedCaptions.moc"
