// The file helper against the real things: device nodes made with mknod, FIFOs,
// symbolic links, a tiny tmpfs for a full disk and RLIMIT_FSIZE for a size
// limit. Cases that need privileges the machine does not give are skipped and
// say why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstring>
#include <functional>

#include "core/FileIo.h"

using namespace zendal::fileio;

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What lstat sees: regular, link, char, fifo, folder, missing.
std::string kindOf(const QString& path) {
    struct stat st {};
    if (::lstat(native(path).constData(), &st) != 0) return "missing";
    if (S_ISREG(st.st_mode)) return "regular";
    if (S_ISLNK(st.st_mode)) return "link";
    if (S_ISCHR(st.st_mode)) return "char";
    if (S_ISFIFO(st.st_mode)) return "fifo";
    if (S_ISDIR(st.st_mode)) return "folder";
    return "other";
}

// Left-over temporary files start with a dot.
QStringList hiddenEntries(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*")},
                                  QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class FileIo : public ::testing::Test {
  protected:
    QString at(const char* name) const { return dir.path() + QLatin1Char('/') + name; }
    // A character device node like the system's, or false where mknod is not allowed.
    bool makeCharDevice(const char* name, unsigned major, unsigned minor) const {
        return ::mknod(native(at(name)).constData(), S_IFCHR | 0666, makedev(major, minor)) == 0;
    }

    QTemporaryDir dir;
};

TEST_F(FileIo, SaveReplacesFilesAndWritesThroughEverythingElse) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        const char* path;       // saved to
        const char* error;      // nullptr: saved
        const char* kindAfter;  // of the path itself
        const char* contentAt;  // where the new content must be (nullptr: nowhere)
    };
    const QByteArray fresh("fresh\n");
    const Case cases[] = {
        {"new file", [] {}, "new.txt", nullptr, "regular", "new.txt"},
        {"existing file", [&] { put(at("old.txt"), "a much longer old content\n"); }, "old.txt",
         nullptr, "regular", "old.txt"},
        {"link to a file stays a link",
         [&] {
             put(at("target.txt"), "old");
             ::symlink("target.txt", native(at("link.txt")).constData());
         },
         "link.txt", nullptr, "link", "target.txt"},
        {"link to a missing file creates it",
         [&] { ::symlink("made.txt", native(at("dangling.txt")).constData()); }, "dangling.txt",
         nullptr, "link", "made.txt"},
        {"FIFO nobody reads", [&] { ::mkfifo(native(at("fifo")).constData(), 0600); }, "fifo",
         "no program reads from this FIFO", "fifo", nullptr},
        {"folder", [&] { QDir(dir.path()).mkdir(QStringLiteral("folder")); }, "folder",
         "Is a directory", "folder", nullptr},
        {"missing folder", [] {}, "nowhere/file.txt", "No such file or directory", "missing",
         nullptr},
        {"empty name", [] {}, "", "no file name given", "folder", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.setUp();
        const QString path = *c.path ? at(c.path) : QString();
        QString error;
        EXPECT_EQ(saveFile(path, fresh, &error), c.error == nullptr);
        EXPECT_EQ(error, c.error ? QString::fromLatin1(c.error) : QString());
        EXPECT_EQ(kindOf(*c.path ? path : dir.path()), c.kindAfter);
        if (c.contentAt) {
            EXPECT_EQ(contentOf(at(c.contentAt)), fresh);
        }
        EXPECT_EQ(hiddenEntries(dir.path()), QStringList());
    }
}

TEST_F(FileIo, SaveKeepsPermissions) {
    const QString path = at("private.txt");
    ASSERT_TRUE(put(path, "old"));
    ASSERT_EQ(::chmod(native(path).constData(), 0600), 0);
    ASSERT_TRUE(saveFile(path, "new", nullptr));
    struct stat st {};
    ASSERT_EQ(::stat(native(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(FileIo, SaveWritesIntoAFifoThatIsRead) {
    const QString path = at("fifo");
    ASSERT_EQ(::mkfifo(native(path).constData(), 0600), 0);
    const int reader = ::open(native(path).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    QString error;
    EXPECT_TRUE(saveFile(path, "through the pipe", &error)) << error.toStdString();
    char buffer[64] = {};
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(std::max<ssize_t>(n, 0))), "through the pipe");
    EXPECT_EQ(kindOf(path), "fifo");
}

TEST_F(FileIo, SaveNeverTurnsADeviceNodeIntoAFile) {
    if (!makeCharDevice("null", 1, 3) || !makeCharDevice("full", 1, 7)) {
        GTEST_SKIP() << "mknod is not allowed here: " << std::strerror(errno);
    }
    ASSERT_EQ(::symlink("full", native(at("to-full")).constData()), 0);
    struct Case {
        const char* path;
        const char* error;
    };
    for (const Case& c : {Case{"null", nullptr}, Case{"full", "No space left on device"},
                          Case{"to-full", "No space left on device"}}) {
        SCOPED_TRACE(c.path);
        QString error;
        EXPECT_EQ(saveFile(at(c.path), QByteArray(1000, 'x'), &error), c.error == nullptr);
        EXPECT_EQ(error, c.error ? QString::fromLatin1(c.error) : QString());
    }
    EXPECT_EQ(kindOf(at("null")), "char");
    EXPECT_EQ(kindOf(at("full")), "char");
    EXPECT_EQ(kindOf(at("to-full")), "link");
    EXPECT_EQ(hiddenEntries(dir.path()), QStringList());
}

TEST_F(FileIo, FileSizeLimitFailsTheSaveAndKeepsThePreviousFile) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const QString path = at("kept.txt");
    ASSERT_TRUE(put(path, "previous"));
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    // Without the signal ignored, SIGXFSZ would end this test program here.
    const bool saved = saveFile(path, QByteArray(10000, 'x'), &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, QStringLiteral("File too large"));
    EXPECT_EQ(contentOf(path), "previous");
    EXPECT_EQ(hiddenEntries(dir.path()), QStringList());
}

TEST_F(FileIo, FullDiskFailsTheSaveAndKeepsThePreviousFile) {
    const QString mountPoint = at("tiny");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("tiny")));
    if (::mount("tmpfs", native(mountPoint).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const QString path = mountPoint + QStringLiteral("/kept.txt");
    const bool prepared = put(path, "previous");
    QString error;
    const bool saved = saveFile(path, QByteArray(1 << 20, 'x'), &error);
    const QByteArray after = contentOf(path);
    const QStringList leftOver = hiddenEntries(mountPoint);
    ::umount2(native(mountPoint).constData(), MNT_DETACH);
    ASSERT_TRUE(prepared);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, QStringLiteral("No space left on device"));
    EXPECT_EQ(after, "previous");
    EXPECT_EQ(leftOver, QStringList());
}

TEST_F(FileIo, ReadsAtMostOneByteBeyondTheLimit) {
    ASSERT_TRUE(put(at("eight"), "12345678"));
    ASSERT_TRUE(put(at("nine"), "123456789"));
    ASSERT_TRUE(put(at("empty"), ""));
    struct Case {
        QString path;
        const char* error;  // nullptr: read whole
        bool tooLarge;
    };
    const Case cases[] = {
        {at("eight"), nullptr, false},
        {at("empty"), nullptr, false},
        {at("nine"), "larger than 8 bytes", true},
        {QStringLiteral("/dev/zero"), "larger than 8 bytes", true},  // endless
        {at("missing"), "No such file or directory", false},
        {dir.path(), "Is a directory", false},
        {QString(), "No such file or directory", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const ReadResult r = readAtMost(c.path, 8);
        EXPECT_EQ(r.ok(), c.error == nullptr);
        EXPECT_EQ(r.error, c.error ? QString::fromLatin1(c.error) : QString());
        EXPECT_EQ(r.tooLarge, c.tooLarge);
        EXPECT_EQ(r.bytes, c.error ? QByteArray() : contentOf(c.path));
    }
}

TEST_F(FileIo, ReadsAFifoWithoutWaitingForAWriter) {
    const QString path = at("fifo");
    const QByteArray fifo = native(path);
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // Nobody writes: empty at once, not a wait for ever.
    ReadResult r = readAtMost(path, 4096);
    EXPECT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.bytes, QByteArray());

    // What a writer left in it is read to the end.
    const int holder = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "from a pipe", 11), 11);
    ::close(writer);
    r = readAtMost(path, 4096);
    ::close(holder);
    EXPECT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.bytes, "from a pipe");
}

TEST_F(FileIo, StandardOutputRemembersTheSystemsReason) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) GTEST_SKIP() << "no /dev/full here: " << std::strerror(errno);
    StandardOutput onFull(full);
    QTextStream out(&onFull);
    out << "lost\n";
    out.flush();
    ::close(full);
    EXPECT_TRUE(onFull.failed());
    EXPECT_EQ(onFull.failure(), QStringLiteral("No space left on device"));

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    {
        StandardOutput onPipe(pipeEnds[1]);
        QTextStream toPipe(&onPipe);
        toPipe << "kept\n";
        toPipe.flush();
        EXPECT_FALSE(onPipe.failed());
        EXPECT_EQ(onPipe.failure(), QString());
    }
    char buffer[16] = {};
    EXPECT_EQ(::read(pipeEnds[0], buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "kept\n");
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

}  // namespace
