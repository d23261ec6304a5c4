#include "shell/ui/TformNewVersionMsg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/SettingsFiles.h"
#include "shell/VersionCheck.h"
#include "shell/ui/Accessibility.h"
#include "shell/ui/FittedCaptions.h"
#include "shell/ui/OpenUrl.h"

namespace zendal {

TformNewVersionMsg::TformNewVersionMsg(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("formNewVersionMsg"));
    setWindowTitle(QStringLiteral("New Version"));
    setFixedSize(282, 151);
    a11y::closeOnEscape(this);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label2 = a11y::elidingLabel(QString(), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setTextFormat(Qt::PlainText);
    btnLaunchUpdate = new QPushButton(QStringLiteral("Update Now"), this);
    btnLaunchUpdate->setObjectName(QStringLiteral("btnLaunchUpdate"));
    btnSeeWhatsNew = new QPushButton(QStringLiteral("What's New?"), this);
    btnSeeWhatsNew->setObjectName(QStringLiteral("btnSeeWhatsNew"));
    CheckBox1 = new QCheckBox(QStringLiteral("Don't Show This Message Again"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    a11y::fitCaption(CheckBox1);  // the stage style's larger font

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnLaunchUpdate);
    buttons->addWidget(btnSeeWhatsNew);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addLayout(buttons);
    layout->addWidget(CheckBox1);

    connect(btnLaunchUpdate, &QPushButton::clicked, this, &TformNewVersionMsg::launchUpdateClicked);
    connect(btnSeeWhatsNew, &QPushButton::clicked, this, &TformNewVersionMsg::btnSeeWhatsNewClick);
    connect(CheckBox1, &QCheckBox::toggled, this, &TformNewVersionMsg::CheckBox1Click);
}

void TformNewVersionMsg::showVersions(const QString& currentVersion, const QString& newVersion) {
    Label1->setText(QStringLiteral("A new version of the Zendal Editor is available"));
    Label2->setText(QStringLiteral("Your version: ") + currentVersion + QStringLiteral("     ") +
                    QStringLiteral("New version: ") + newVersion);
    show();
}

void TformNewVersionMsg::btnSeeWhatsNewClick() {
    OpenURL(update::webUrl(update::kWhatsNewPath).toString());
}

void TformNewVersionMsg::CheckBox1Click(bool checked) {
    // Takes effect at the next start; unchecking writes nothing.
    if (checked) settings::writeShowUpdateIfExists(false);
}

}  // namespace zendal
