// Saves that cannot reach the disk: the previous file stays as it was and the
// caller gets a reason to show. The tests run as root in CI, where file modes
// stop nothing, so the disk is made to refuse in ways root cannot override: a
// folder that is a regular file, and a file size limit (RLIMIT_FSIZE).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <csignal>
#include <functional>

#include "params/PresetFile.h"
#include "shell/SettingsFiles.h"
#include "support/TempHome.h"

namespace zendal::test {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// While alive, no file may grow beyond `bytes` (writes beyond fail with EFBIG
// instead of killing the process).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

enum class Block { ParentIsAFile, FileSizeLimit };

struct Case {
    const char* name;
    Block block;
    // The file the save targets (below the temporary home), what it held
    // before, and the save itself.
    std::function<QString()> target;
    QByteArray previous;
    std::function<bool(QString* error)> save;
};

TEST(DiskFaults, AFailedSaveKeepsThePreviousFileAndSaysWhy) {
    const QString presetText = QStringLiteral("0026\r\n0001\r\n") + QString(200, QLatin1Char('0'));
    const Case cases[] = {
        {"preset file, size limit", Block::FileSizeLimit,
         [] { return settings::presetFolder() + QStringLiteral("/Noise Gate.txt"); },
         "\xEF\xBB\xBF"
         "0026\r\n0001\r\nOLD\r\n",
         [&](QString* error) {
             return preset::writePresetFile(
                 settings::presetFolder() + QStringLiteral("/Noise Gate.txt"), presetText, error);
         }},
        {"preset file, folder is a file",
         Block::ParentIsAFile,
         [] { return settings::presetFolder() + QStringLiteral("/sub/Noise Gate.txt"); },
         {},
         [&](QString* error) {
             return preset::writePresetFile(
                 settings::presetFolder() + QStringLiteral("/sub/Noise Gate.txt"), presetText,
                 error);
         }},
        {"mode file, size limit", Block::FileSizeLimit, [] { return settings::modeFile(); },
         "PRESET", [](QString* error) { return settings::writeMode(true, error); }},
        {"style file, size limit", Block::FileSizeLimit, [] { return settings::styleFile(); }, "3",
         [](QString* error) { return settings::writeStyleNumber(12345, error); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome home;
        settings::EnsureSettingsFolders();
        const QString path = c.target();
        if (c.block == Block::ParentIsAFile) {
            // The folder the file should go into is a regular file.
            writeFile(QFileInfo(path).absolutePath(), "not a folder");
        } else {
            writeFile(path, c.previous);
        }
        QString error;
        bool saved = true;
        if (c.block == Block::FileSizeLimit) {
            FileSizeLimit limit(1);
            saved = c.save(&error);
        } else {
            saved = c.save(&error);
        }
        EXPECT_FALSE(saved);
        EXPECT_FALSE(error.isEmpty());
        if (c.block == Block::FileSizeLimit) {
            EXPECT_EQ(readAll(path), c.previous);
            // Nothing half-written is left beside it either.
            const QStringList left = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files);
            for (const QString& name : left)
                EXPECT_TRUE(QFileInfo(path).fileName() == name ||
                            !name.startsWith(QFileInfo(path).fileName()))
                    << name.toStdString();
        } else {
            EXPECT_FALSE(QFileInfo(path).exists());
        }
        // Once the disk takes it, the same save succeeds.
        if (c.block == Block::FileSizeLimit) {
            EXPECT_TRUE(c.save(&error)) << error.toStdString();
            EXPECT_NE(readAll(path), c.previous);
        }
    }
}

}  // namespace
}  // namespace zendal::test
