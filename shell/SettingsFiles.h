#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The editor's three one-value preferences, kept as small text files below the
// user's documents folder:
//   Tavrel/style.txt                               appearance style number ("3")
//   Tavrel/Zendal/ShowMessageVersionAtStartup.txt  "YES" | "NO"
//   Tavrel/Zendal/Mode.txt                         "PRESET" | "BANK"
// Each file holds its value alone: UTF-8, no byte-order mark, no line end.
// Values are compared exactly (case matters, nothing trimmed). Every write is
// atomic, so a crash or a full disk never leaves a half-written file.
namespace zendal::settings {

// The user's documents folder (QStandardPaths::DocumentsLocation).
QString documentsFolder();
QString tavrelFolder();  // <documents>/Tavrel
QString zendalFolder();  // <documents>/Tavrel/Zendal
QString presetFolder();  // <documents>/Tavrel/Zendal/Preset (preset files)

QString showUpdateFile();  // ShowMessageVersionAtStartup.txt
QString modeFile();        // Mode.txt
QString styleFile();       // style.txt

// Creates Tavrel and Tavrel/Zendal when missing. Returns the texts to show the
// user, one per failure: "Error creating folder: " / "Error creating subfolder: "
// followed by the reason. Start-up goes on either way.
QStringList EnsureSettingsFolders();

struct StartupSettings {
    bool showUpdate = true;
    // Unknown: the mode file holds something else (or cannot be read); the
    // editor stays in preset mode with neither mode item checked.
    enum class Mode { Preset, Bank, Unknown };
    Mode mode = Mode::Preset;
};

// Reads the show-update and mode files, creating them with "YES" and "PRESET"
// when missing. Content other than the known values leaves the default in place
// (show-update) or gives Mode::Unknown; such files are never rewritten.
StartupSettings ReadStartupSettings();

// The show-update preference as the file holds it now (true unless it holds
// exactly "NO"); reads only, creates nothing.
bool readShowUpdatePreference();

// "BANK" or "PRESET" into Mode.txt (creates the folder if it vanished).
bool writeMode(bool bank, QString* error = nullptr);
// "YES" or "NO" into ShowMessageVersionAtStartup.txt, only when the file
// exists. True when it was written.
bool writeShowUpdateIfExists(bool yes);
// Same, under the name the main window uses.
inline bool writeShowUpdate(bool yes) {
    return writeShowUpdateIfExists(yes);
}

// The number in style.txt: nullopt when the file is missing, unreadable or not
// a whole decimal number (an optional minus sign and digits, nothing else).
std::optional<int> readStyleNumber();
// The style to apply at start-up: the stored number, or 0 when style.txt is
// missing or does not hold a whole number (the file is left untouched).
int storedStyleNumber();
// k in decimal into style.txt (creates the folder if it vanished).
bool writeStyleNumber(int n, QString* error = nullptr);

// Replaces the file's content atomically (a temporary file renamed over it; a
// link is followed, a device written to): on failure the previous file
// survives unchanged and *error says why.
bool writeSettingFile(const QString& path, const QByteArray& content, QString* error = nullptr);

// Reads a settings file whole and decodes it: a byte-order mark selects the
// encoding (and is dropped); otherwise UTF-8, or Latin-1 when the bytes are not
// valid UTF-8. nullopt when the file cannot be read, is not a regular file, or
// is larger than 4096 bytes (no value is; reading stops there).
std::optional<QString> readSettingFile(const QString& path, QString* error = nullptr);
// The decoding step alone.
QString decodeSettingText(const QByteArray& bytes);

}  // namespace zendal::settings
