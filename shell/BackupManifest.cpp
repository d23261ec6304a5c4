#include "shell/BackupManifest.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace zendal::backup {

namespace {

const QString kTitle = QStringLiteral("Zendal pedal backup");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString byteText(std::uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QString manifestFileName() {
    return QStringLiteral("manifest.txt");
}

const BackupFile* Manifest::file(const QString& name) const {
    for (const BackupFile& f : files)
        if (f.name == name) return &f;
    return nullptr;
}

QByteArray sha256Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray composeManifest(const Manifest& m) {
    QString text = kTitle + u'\n';
    text += QStringLiteral("date: ") + m.date.toString(kDateFormat) + u'\n';
    text += QStringLiteral("firmware: %1\n").arg(m.firmware);
    if (m.effect) {
        text +=
            QStringLiteral("effect: 0x") + byteText(static_cast<std::uint8_t>(*m.effect)) + u'\n';
        text += QStringLiteral("effect name: ") + m.effectName + u'\n';
    } else {
        text += QStringLiteral("effect: none\n");
    }
    text += QStringLiteral("effect version: %1\n").arg(m.effectVersion);
    if (m.bypassFunction)
        text += QStringLiteral("bypass function: ") + byteText(*m.bypassFunction) + u'\n';
    if (m.presetFunction)
        text += QStringLiteral("preset function: ") + byteText(*m.presetFunction) + u'\n';
    for (const BackupFile& f : m.files)
        text += QStringLiteral("file: ") + QString::fromLatin1(f.sha256) + u' ' + f.name + u'\n';
    return text.toUtf8();
}

std::optional<Manifest> parseManifest(const QByteArray& bytes, QString* error) {
    const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    if (lines.isEmpty() || lines.first().trimmed() != kTitle) {
        *error = QStringLiteral("its manifest does not begin with \"%1\"").arg(kTitle);
        return std::nullopt;
    }
    static const QRegularExpression fileLine(QStringLiteral("^([0-9a-f]{64}) (.+)$"));
    Manifest m;
    bool haveFirmware = false, haveEffect = false, haveVersion = false;
    for (int n = 1; n < lines.size(); ++n) {
        const QString line = lines[n].endsWith(u'\r') ? lines[n].chopped(1) : lines[n];
        if (line.isEmpty()) continue;
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        const QString key = colon < 0 ? line : line.left(colon);
        const QString value = colon < 0 ? QString() : line.mid(colon + 2);
        auto bad = [&] {
            *error =
                QStringLiteral("line %1 of its manifest cannot be read: %2").arg(n + 1).arg(line);
            return std::nullopt;
        };
        bool ok = true;
        if (key == QLatin1String("date")) {
            m.date = QDateTime::fromString(value, kDateFormat);
        } else if (key == QLatin1String("firmware")) {
            m.firmware = value.toInt(&ok);
            haveFirmware = ok;
        } else if (key == QLatin1String("effect")) {
            if (value != QLatin1String("none")) {
                if (!value.startsWith(QLatin1String("0x"))) return bad();
                m.effect = value.mid(2).toInt(&ok, 16);
            }
            haveEffect = ok;
        } else if (key == QLatin1String("effect name")) {
            m.effectName = value;
        } else if (key == QLatin1String("effect version")) {
            m.effectVersion = value.toInt(&ok);
            haveVersion = ok;
        } else if (key == QLatin1String("bypass function") ||
                   key == QLatin1String("preset function")) {
            const int b = value.toInt(&ok, 16);
            ok = ok && value.size() == 2 && b >= 0 && b <= 0xFF;
            (key.startsWith(u'b') ? m.bypassFunction : m.presetFunction) =
                static_cast<std::uint8_t>(b);
        } else if (key == QLatin1String("file")) {
            const auto match = fileLine.match(value);
            ok = match.hasMatch() && !match.captured(2).contains(u'/') &&
                 match.captured(2) != QLatin1String("..");
            if (ok) m.files.append({match.captured(2), match.captured(1).toLatin1()});
        }
        if (!ok) return bad();
    }
    if (!haveFirmware || !haveEffect || !haveVersion) {
        *error =
            QStringLiteral("its manifest does not say which firmware and effect it was made with");
        return std::nullopt;
    }
    return m;
}

}  // namespace zendal::backup
