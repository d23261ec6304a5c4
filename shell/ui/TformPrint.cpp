#include "shell/ui/TformPrint.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Log.h"
#include "shell/ui/Accessibility.h"

namespace zendal {

TformPrint::TformPrint(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("formPrint"));
    setWindowTitle(QStringLiteral("Debug Console"));
    resize(506, 676);
    a11y::closeOnEscape(this);

    Memo1_ = new QPlainTextEdit(this);
    Memo1_->setObjectName(QStringLiteral("Memo1"));
    Memo1_->setReadOnly(true);
    Memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1_->setUndoRedoEnabled(false);  // the log would otherwise be kept twice
    Memo1_->setAccessibleName(QStringLiteral("Debug log"));

    btnClear_ = new QPushButton(QStringLiteral("Clear"), this);
    btnClear_->setObjectName(QStringLiteral("btnClear"));
    btnScrollTop_ = new QPushButton(QStringLiteral("UP"), this);
    btnScrollTop_->setObjectName(QStringLiteral("btnScrollTop"));
    CheckBox1_ = new QCheckBox(QStringLiteral("scroll"), this);
    CheckBox1_->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1_->setChecked(true);

    serviceArea_ = new QWidget(this);
    serviceArea_->setObjectName(QStringLiteral("serviceArea"));
    serviceLayout_ = new QVBoxLayout(serviceArea_);
    serviceLayout_->setContentsMargins(0, 0, 0, 0);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnClear_);
    buttons->addWidget(btnScrollTop_);
    buttons->addWidget(CheckBox1_);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1_, 1);
    layout->addLayout(buttons);
    layout->addWidget(serviceArea_);

    batch_ = new QTimer(this);
    batch_->setSingleShot(true);
    batch_->setInterval(0);
    connect(batch_, &QTimer::timeout, this, &TformPrint::flush);

    connect(btnClear_, &QPushButton::clicked, this, &TformPrint::btnClearClick);
    connect(btnScrollTop_, &QPushButton::clicked, this, &TformPrint::btnScrollTopClick);
    connect(CheckBox1_, &QCheckBox::toggled, this, &TformPrint::CheckBox1Click);

    Log& log = Log::instance();
    connect(&log, &Log::lineAdded, this, &TformPrint::lineAdded);
    connect(&log, &Log::cleared, this, &TformPrint::cleared);
    // Lines logged before the console existed are shown too.
    if (!log.lines().isEmpty()) {
        pending_ = log.lines();
        pendingScroll_ = true;
        flush();
    }
}

void TformPrint::setServicePanel(QWidget* panel) {
    if (!panel) return;
    panel->setParent(serviceArea_);
    serviceLayout_->addWidget(panel);
}

void TformPrint::lineAdded(const QString& line, bool follow) {
    pending_.append(line);
    pendingScroll_ = pendingScroll_ || follow;
    if (!batch_->isActive()) batch_->start();
}

void TformPrint::flush() {
    batch_->stop();
    if (pending_.isEmpty()) return;
    QScrollBar* bar = Memo1_->verticalScrollBar();
    const int keep = bar->value();
    Memo1_->setUpdatesEnabled(false);
    Memo1_->appendPlainText(pending_.join(QLatin1Char('\n')));
    Memo1_->setUpdatesEnabled(true);
    pending_.clear();
    if (follow_ && pendingScroll_) {
        Memo1_->moveCursor(QTextCursor::End);
        bar->setValue(bar->maximum());
    } else {
        bar->setValue(keep);  // the view stays where the user left it
    }
    pendingScroll_ = false;
}

void TformPrint::cleared() {
    batch_->stop();
    pending_.clear();
    pendingScroll_ = false;
    Memo1_->clear();
}

void TformPrint::btnClearClick() {
    Log::instance().clear();
}

void TformPrint::btnScrollTopClick() {
    flush();
    Memo1_->moveCursor(QTextCursor::Start);
    Memo1_->verticalScrollBar()->setValue(0);
}

void TformPrint::CheckBox1Click(bool checked) {
    follow_ = checked;
}

void TformPrint::closeEvent(QCloseEvent* event) {
    hide();  // the console lives for the whole run
    event->ignore();
}

void TformPrint::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    flush();
}

}  // namespace zendal
