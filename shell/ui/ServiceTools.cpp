#include "shell/ui/ServiceTools.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/Log.h"
#include "link/FrameCodec.h"
#include "shell/EepromTools.h"
#include "shell/Prompt.h"
#include "shell/ui/Accessibility.h"

namespace zendal {

namespace {
template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
}  // namespace

ServiceToolsPanel::ServiceToolsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ServiceToolsPanel"));

    auto* lblI2Caddr = new QLabel(QStringLiteral("E2P addr"), this);
    cmbI2Caddr = named(a11y::namedList(this, QStringLiteral("EEPROM address")), "cmbI2Caddr");
    cmbI2Caddr->addItems({QStringLiteral("50"), QStringLiteral("51")});
    cmbI2Caddr->setCurrentIndex(-1);  // nothing chosen
    lblI2Caddr->setBuddy(cmbI2Caddr);
    btnEraseEeprom = named(new QPushButton(QStringLiteral("Erase EEPROM"), this), "btnEraseEeprom");
    btnReadEEPROM = named(new QPushButton(QStringLiteral("Read EEPROM"), this), "btnReadEEPROM");

    btnSend = named(new QPushButton(QStringLiteral("Send"), this), "btnSend");
    edtAddress = named(new QLineEdit(QStringLiteral("addr"), this), "edtAddress");
    edtData = named(new QLineEdit(QStringLiteral("data"), this), "edtData");
    cmbNotePicker = named(new QComboBox(this), "cmbNotePicker");
    cmbNotePicker->addItems(service::noteNames());
    cmbNotePicker->setCurrentIndex(0);
    edtQ = named(new QLineEdit(QStringLiteral("1.41"), this), "edtQ");
    edtBoost = named(new QLineEdit(QStringLiteral("0"), this), "edtBoost");
    btnGetNoteFrequency =
        named(new QPushButton(QStringLiteral("Calc Coeff."), this), "btnGetNoteFrequency");

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(lblI2Caddr, 0, 0);
    grid->addWidget(cmbI2Caddr, 0, 1);
    grid->addWidget(btnEraseEeprom, 0, 2);
    grid->addWidget(btnReadEEPROM, 0, 3);
    grid->addWidget(edtAddress, 1, 0);
    grid->addWidget(edtData, 1, 1);
    grid->addWidget(btnSend, 1, 2);
    grid->addWidget(cmbNotePicker, 2, 0);
    grid->addWidget(edtQ, 2, 1);
    grid->addWidget(edtBoost, 2, 2);
    grid->addWidget(btnGetNoteFrequency, 2, 3);

    // Present but never made visible by the editor.
    for (QWidget* w : std::initializer_list<QWidget*>{btnSend, edtAddress, edtData, cmbNotePicker,
                                                      edtQ, edtBoost, btnGetNoteFrequency}) {
        w->setVisible(false);
    }

    connect(btnEraseEeprom, &QPushButton::clicked, this, &ServiceToolsPanel::btnEraseEepromClick);
    connect(btnReadEEPROM, &QPushButton::clicked, this, &ServiceToolsPanel::btnReadEEPROMClick);
    connect(btnSend, &QPushButton::clicked, this, &ServiceToolsPanel::btnSendClick);
    connect(btnGetNoteFrequency, &QPushButton::clicked, this,
            &ServiceToolsPanel::btnGetNoteFrequencyClick);
    connect(cmbNotePicker, &QComboBox::currentIndexChanged, this,
            [this](int index) { calculator_.setNoteIndex(index); });
    // Connected after the initial texts: the stored start values differ from them.
    connect(edtQ, &QLineEdit::textChanged, this,
            [this](const QString& text) { markInvalid(edtQ, !calculator_.setQText(text)); });
    connect(edtBoost, &QLineEdit::textChanged, this, [this](const QString& text) {
        markInvalid(edtBoost, !calculator_.setBoostText(text));
    });
}

void ServiceToolsPanel::markInvalid(QLineEdit* field, bool invalid) {
    // The stored value stays as it was; the field shows that its text is not used.
    field->setStyleSheet(invalid ? QStringLiteral("color: red;") : QString());
    field->setToolTip(invalid ? QStringLiteral("Not a number: the previous value stays in use.")
                              : QString());
}

bool ServiceToolsPanel::mayWrite() {
    const QString why = writeGuard_ ? writeGuard_() : QString();
    if (why.isEmpty()) return true;
    DebugPrint(why);
    prompt().information(why);
    return false;
}

void ServiceToolsPanel::btnEraseEepromClick() {
    if (!mayWrite()) return;
    EraseEEPROM(cmbI2Caddr->currentText());
}

void ServiceToolsPanel::btnReadEEPROMClick() {
    if (!mayWrite()) return;
    ReadEEPROM(cmbI2Caddr->currentText());
}

void ServiceToolsPanel::btnSendClick() {
    if (!mayWrite()) return;
    DebugPrint(QStringLiteral("01") + edtAddress->text() + edtData->text());
    QString why;
    const auto message = service::rawParameterMessage(edtAddress->text(), edtData->text(), &why);
    if (!message) {
        prompt().information(why);
        return;
    }
    SendHexMessage(*message, 7);
}

void ServiceToolsPanel::btnGetNoteFrequencyClick() {
    calculator_.calculate();
}

}  // namespace zendal
