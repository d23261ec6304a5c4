#include "firmware/LastImage.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include "firmware/FirmwareImage.h"

namespace zendal::firmware {

namespace {

constexpr const char* kRecordFile = "LastFirmware.txt";
constexpr const char* kBytesFile = "LastFirmware.bin";
constexpr qint64 kRecordLimit = 64;

bool saveAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error) *error = path + QStringLiteral(": ") + file.errorString();
    return false;
}

}  // namespace

QString RememberedImage::describe() const {
    if (!catalogueName.isEmpty()) return catalogueName;
    return QStringLiteral("the last image written from a file (variant %1)").arg(variant);
}

bool rememberLastImage(const QString& folder, const RememberedImage& image, QString* error) {
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error) *error = folder + QStringLiteral(": cannot create the folder");
        return false;
    }
    if (image.catalogueName.isEmpty()) {
        // The bytes first: a record never points at a file that is not there.
        if (!saveAtomically(dir.filePath(kBytesFile), image.bytes, error)) return false;
        return saveAtomically(dir.filePath(kRecordFile),
                              QStringLiteral("file %1").arg(image.variant).toUtf8(), error);
    }
    return saveAtomically(dir.filePath(kRecordFile), image.catalogueName.toUtf8(), error);
}

std::optional<RememberedImage> lastImage(const QString& folder, QString* error) {
    const QDir dir(folder);
    QFile record(dir.filePath(kRecordFile));
    if (!record.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString text = QString::fromUtf8(record.read(kRecordLimit)).trimmed();
    static const QRegularExpression named(QStringLiteral("^Firmware_([1-5])$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression file(QStringLiteral("^file ([1-5])$"));
    RememberedImage image;
    if (const auto m = named.match(text); m.hasMatch()) {
        image.catalogueName = QStringLiteral("Firmware_") + m.captured(1);
        image.variant = m.captured(1).toInt();
        return image;
    }
    if (const auto m = file.match(text); m.hasMatch()) {
        image.variant = m.captured(1).toInt();
        auto bytes = readFirmwareFile(dir.filePath(kBytesFile), error);
        if (!bytes) return std::nullopt;
        image.bytes = *bytes;
        return image;
    }
    if (error) *error = record.fileName() + QStringLiteral(": not a record of an image");
    return std::nullopt;
}

}  // namespace zendal::firmware
