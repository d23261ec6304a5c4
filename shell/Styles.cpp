#include "shell/Styles.h"

#include <QApplication>

#include "core/Log.h"
#include "resources/ResourceStore.h"
#include "shell/SettingsFiles.h"

namespace zendal {

namespace {

QString resourceName(int n) {
    return QStringLiteral("Style_") + QString::number(n);
}

}  // namespace

bool applyStyle(int n) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return false;
    QString why;
    const auto sheet = ResourceStore::instance().read(resourceName(n), &why);
    if (!sheet) {
        DebugPrint(
            QStringLiteral("style not found: %1%2")
                .arg(resourceName(n),
                     why.isEmpty() ? QString() : QStringLiteral(" (") + why + QStringLiteral(")")));
        return false;
    }
    app->setStyleSheet(QString::fromUtf8(*sheet));
    return true;
}

bool ApplyStoredStyle() {
    return applyStyle(settings::storedStyleNumber());
}

QString styleNameFromSheet(const QByteArray& sheet) {
    const qsizetype eol = sheet.indexOf('\n');
    QString line = QString::fromUtf8(eol < 0 ? sheet : sheet.left(eol)).trimmed();
    if (!line.startsWith(QStringLiteral("/*"))) return {};
    line = line.mid(2);
    const qsizetype close = line.indexOf(QStringLiteral("*/"));
    if (close >= 0) line = line.left(close);
    line = line.trimmed();
    // "Style 1: Dark" / "STYLE_1: Dark" name themselves after the colon.
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon >= 0 && line.left(colon).contains(QStringLiteral("style"), Qt::CaseInsensitive)) {
        line = line.mid(colon + 1).trimmed();
    }
    return line;
}

QString styleName(int n) {
    const auto sheet = ResourceStore::instance().read(resourceName(n));
    return sheet ? styleNameFromSheet(*sheet) : QString();
}

QStringList styleNames() {
    QStringList names;
    for (int n = 0; n < kStyleCount; ++n) names << styleName(n);
    return names;
}

}  // namespace zendal
