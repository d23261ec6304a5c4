#include "effects/EffectCatalogue.h"

#include <QStringDecoder>

#include "core/Log.h"
#include "resources/ResourceStore.h"

namespace zendal {

namespace {

// Says once which catalogue is in use (again only if that changes, as in tests).
void logOriginOnce() {
    static QString logged;
    const QString origin = ResourceStore::instance().origin();
    if (origin == logged) return;
    logged = origin;
    DebugPrint(QStringLiteral("effect catalogue: ") + origin);
}

QString decodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    return text;
}

void setError(QString* errorText, const QString& text) {
    if (errorText) *errorText = text;
}

}  // namespace

const QList<EffectCategory>& effect_categories() {
    static const QList<EffectCategory> categories = {
        {0, QStringLiteral("Gain"), QStringLiteral("GAIN")},
        {1, QStringLiteral("Modulation"), QStringLiteral("MODULATION")},
        {2, QStringLiteral("Synthesis"), QStringLiteral("SYNTHESIS")},
        {3, QStringLiteral("Filter"), QStringLiteral("FILTER")},
        {4, QStringLiteral("Dynamic"), QStringLiteral("DYNAMIC")},
        {5, QStringLiteral("Impulse Response"), QStringLiteral("IMPULSE_RESPONSE")},
        {6, QStringLiteral("Other"), QStringLiteral("OTHER")},
    };
    return categories;
}

std::optional<EffectCategory> category_by_name(const QString& displayName) {
    for (const EffectCategory& category : effect_categories()) {
        if (category.displayName == displayName) return category;
    }
    return std::nullopt;
}

QString format_resource_name(const QString& displayName) {
    QString name = displayName;
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    name.replace(QLatin1Char('-'), QLatin1Char('_'));
    name.replace(QLatin1Char('+'), QStringLiteral("plus"));
    name.replace(QLatin1Char('X'), QStringLiteral("mult"));
    return name;
}

QString resourceErrorText(const QString& reason) {
    return QStringLiteral("Error loading resource: ") + reason;
}

QStringList split_resource_lines(const QByteArray& bytes) {
    return split_text_lines(decodeText(bytes));
}

QStringList split_text_lines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (start < n) lines << text.mid(start);
    return lines;
}

QStringList read_file_from_stream(const QString& resourceName, QString* errorText) {
    logOriginOnce();
    QString reason;
    const auto bytes = ResourceStore::instance().read(resourceName, &reason);
    if (!bytes) {
        setError(errorText, resourceErrorText(reason));
        return {};
    }
    return split_resource_lines(*bytes);
}

QString effect_image_text(const QString& displayName, QString* errorText) {
    QString error;
    const QStringList lines = read_file_from_stream(format_resource_name(displayName), &error);
    if (!error.isEmpty()) {
        setError(errorText, error);
        return {};
    }
    if (lines.isEmpty()) {
        setError(errorText, resourceErrorText(
                                QStringLiteral("the image of \"%1\" is empty").arg(displayName)));
        return {};
    }
    return lines.first();
}

int get_effect_size(const QString& displayName, QString* errorText) {
    const QString name = format_resource_name(displayName);
    DebugPrint(QStringLiteral("resource name: ") + name);
    QString error;
    const QStringList lines = read_file_from_stream(name, &error);
    if (!error.isEmpty()) {
        setError(errorText, error);
        return -1;
    }
    return lines.isEmpty() ? 0 : static_cast<int>(lines.first().size() / 2);
}

QString display_name_of_line(const QString& line) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    return colon < 0 ? line : line.mid(colon + 1);
}

std::optional<EffectListEntry> effect_list_entry(int id, QString* errorText) {
    if (id < 0 || id >= kEffectIdCount) {
        setError(errorText, QStringLiteral("Effect number %1 is not in the catalogue "
                                           "(effect numbers run from 0 to %2).")
                                .arg(id)
                                .arg(kEffectIdCount - 1));
        return std::nullopt;
    }
    QString error;
    const QStringList lines = read_file_from_stream(QStringLiteral("EFFECT_LIST"), &error);
    if (!error.isEmpty()) {
        setError(errorText, error);
        return std::nullopt;
    }
    if (id >= lines.size()) {
        setError(errorText,
                 QStringLiteral("Effect number %1 has no line in the effect list.").arg(id));
        return std::nullopt;
    }
    return EffectListEntry{id, lines.at(id), display_name_of_line(lines.at(id))};
}

std::optional<QString> effect_name_by_id(int id, QString* errorText) {
    const auto entry = effect_list_entry(id, errorText);
    if (!entry) return std::nullopt;
    return entry->displayName;
}

std::optional<int> effect_id_by_name(const QString& displayName, QString* errorText) {
    QString error;
    const QStringList lines = read_file_from_stream(QStringLiteral("EFFECT_LIST"), &error);
    if (!error.isEmpty()) {
        setError(errorText, error);
        return std::nullopt;
    }
    const qsizetype count = std::min<qsizetype>(lines.size(), kEffectIdCount);
    for (qsizetype id = 0; id < count; ++id) {
        if (display_name_of_line(lines.at(id)) == displayName) return static_cast<int>(id);
    }
    setError(errorText,
             QStringLiteral("No effect named \"%1\" in the catalogue.").arg(displayName));
    return std::nullopt;
}

QStringList category_members(const QString& categoryDisplayName, QString* errorText) {
    return read_file_from_stream(format_resource_name(categoryDisplayName), errorText);
}

std::optional<QString> categoryOf(const QString& displayName) {
    for (const EffectCategory& category : effect_categories()) {
        QString error;
        const QStringList members = category_members(category.displayName, &error);
        if (members.contains(displayName)) return category.displayName;
    }
    return std::nullopt;
}

}  // namespace zendal
