#include "effects/ui/TformImpulseResponsePreview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace zendal {

IrPlotsView::IrPlotsView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("irPlots"));
    setMinimumSize(640, 420);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void IrPlotsView::setData(IrPlotData data) {
    data_ = std::move(data);
    update();
}

void IrPlotsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!data_.samples.empty()) paintIrPlots(painter, rect().adjusted(4, 4, -4, -4), data_);
}

TformImpulseResponsePreview::TformImpulseResponsePreview(const QString& fileName, Preparer preparer,
                                                         const IrOptions& initial, QWidget* parent)
    : QDialog(parent), prepare_(std::move(preparer)), options_(initial) {
    setObjectName(QStringLiteral("formImpulseResponsePreview"));
    setWindowTitle(QStringLiteral("Load IR: %1").arg(fileName));

    facts_ = new QLabel(this);
    facts_->setObjectName(QStringLiteral("irFacts"));
    facts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    steps_ = new QLabel(this);
    steps_->setObjectName(QStringLiteral("irSteps"));
    steps_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    steps_->setWordWrap(true);
    auto* text = new QHBoxLayout;
    text->addWidget(facts_, 0, Qt::AlignTop);
    text->addSpacing(24);
    text->addWidget(steps_, 1, Qt::AlignTop);

    channel_ = new QComboBox(this);
    channel_->setObjectName(QStringLiteral("irChannel"));
    channel_->addItem(QStringLiteral("Left"), int(IrChannel::Left));
    channel_->addItem(QStringLiteral("Right"), int(IrChannel::Right));
    channel_->addItem(QStringLiteral("Mid (left and right averaged)"), int(IrChannel::Mid));
    channel_->setCurrentIndex(channel_->findData(int(options_.channel)));
    auto* channelLabel = new QLabel(QStringLiteral("&Channel:"), this);
    channelLabel->setBuddy(channel_);
    normalize_ = new QCheckBox(QStringLiteral("&Normalise to a peak of -1 dBFS"), this);
    normalize_->setObjectName(QStringLiteral("irNormalize"));
    normalize_->setChecked(options_.normalize);
    auto* choices = new QHBoxLayout;
    choices->addWidget(channelLabel);
    choices->addWidget(channel_);
    choices->addSpacing(24);
    choices->addWidget(normalize_);
    choices->addStretch(1);

    plots_ = new IrPlotsView(this);

    auto* buttons = new QDialogButtonBox(this);
    load_ = buttons->addButton(QStringLiteral("&Load"), QDialogButtonBox::AcceptRole);
    load_->setObjectName(QStringLiteral("irLoad"));
    load_->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(text);
    layout->addLayout(choices);
    layout->addWidget(plots_, 1);
    layout->addWidget(buttons);

    connect(channel_, &QComboBox::currentIndexChanged, this,
            &TformImpulseResponsePreview::choiceChanged);
    connect(normalize_, &QCheckBox::toggled, this, &TformImpulseResponsePreview::choiceChanged);
    prepare();
}

QString TformImpulseResponsePreview::factsText() const {
    return facts_->text();
}

QString TformImpulseResponsePreview::stepsText() const {
    return steps_->text();
}

void TformImpulseResponsePreview::choiceChanged() {
    options_.channel = static_cast<IrChannel>(channel_->currentData().toInt());
    options_.normalize = normalize_->isChecked();
    prepare();
    emit optionsChanged(options_);
}

void TformImpulseResponsePreview::prepare() {
    current_ = prepare_(options_);
    // A choice can make a good file unusable (a silent right channel): the
    // reason takes the place of the steps and nothing can be loaded.
    if (current_.ok()) {
        QString facts = current_.summary;
        facts_->setText(facts.replace(QLatin1String("\r\n"), QLatin1String("\n")));
        steps_->setText(QStringLiteral("What will be done:\n") +
                        current_.steps.join(QLatin1Char('\n')));
    } else {
        steps_->setText(current_.error);
    }
    channel_->setEnabled(current_.info.channels > 1 || !current_.ok());
    load_->setEnabled(current_.ok());
    plots_->setData(irPlotData(current_.prepared));
}

}  // namespace zendal
