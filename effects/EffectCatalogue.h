#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The effect catalogue, without any window: the effect list, the seven category
// lists and, per effect, its image, control descriptor and description, all
// read through ResourceStore. Failures never open a box: functions return an
// empty result and, through `errorText`, the whole text to show the user
// ("Error loading resource: " followed by the reason).
namespace zendal {

constexpr int kEffectIdCount = 64;        // ids 0..63; id 0 is the empty slot
constexpr int kBankModeSizeLimit = 5440;  // larger images cannot go to a bank slot

struct EffectCategory {
    int index = 0;
    QString displayName;   // "Impulse Response"
    QString resourceName;  // "IMPULSE_RESPONSE"
};

// The seven categories, in list order.
const QList<EffectCategory>& effect_categories();
std::optional<EffectCategory> category_by_name(const QString& displayName);

// Display name -> resource name: space and '-' become '_', '+' becomes "plus",
// upper-case 'X' becomes "mult", in that order; nothing else changes.
QString format_resource_name(const QString& displayName);

// A text resource split into lines. CR LF (or a lone CR or LF) ends a line; a
// break after the last line yields no empty entry. Empty list on failure.
QStringList read_file_from_stream(const QString& resourceName, QString* errorText = nullptr);
// The splitting rule alone, on bytes (UTF-8, else Latin-1) or on text.
QStringList split_resource_lines(const QByteArray& bytes);
QStringList split_text_lines(const QString& text);
// The prefix of every resource failure shown to the user.
QString resourceErrorText(const QString& reason);

// Size in bytes of the effect's image: half the length of its first line (an
// odd last digit does not count). Logs "resource name: " + the resource name.
// -1 when the image cannot be read.
int get_effect_size(const QString& displayName, QString* errorText = nullptr);

// The first line of the effect's image resource; empty when it cannot be read.
QString effect_image_text(const QString& displayName, QString* errorText = nullptr);

// The display name in an effect-list line: the text after the first colon, or
// the whole line when it has none.
QString display_name_of_line(const QString& line);

struct EffectListEntry {
    int id = 0;
    QString line;         // as written, id and colon included
    QString displayName;  // display_name_of_line(line)
};
// Line `id` of EFFECT_LIST. Fails (nullopt, errorText set) for ids outside
// 0..63, for a list too short, or when the list cannot be read.
std::optional<EffectListEntry> effect_list_entry(int id, QString* errorText = nullptr);
std::optional<QString> effect_name_by_id(int id, QString* errorText = nullptr);
// The id (line position) of a display name; nullopt when the list has no such name.
std::optional<int> effect_id_by_name(const QString& displayName, QString* errorText = nullptr);

// The members of a category, by its display name ("Gain"), in display order.
QStringList category_members(const QString& categoryDisplayName, QString* errorText = nullptr);
// The display name of the category that lists the effect; nullopt when none does.
std::optional<QString> categoryOf(const QString& displayName);

}  // namespace zendal
