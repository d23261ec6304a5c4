#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// Files in and out the careful way: every read has a limit, a save never turns
// a device node or a FIFO into a plain file, a failed save keeps the previous
// file, and errors carry the system's own reason ("No space left on device").
namespace zendal::fileio {

struct ReadResult {
    QByteArray bytes;  // what was read (empty on failure)
    QString error;     // the system's reason, or why the size was refused
    bool tooLarge = false;
    bool ok() const { return error.isEmpty(); }
};

// Reads at most limit + 1 bytes from path, whatever it is (regular file,
// character device, FIFO): more than limit bytes is refused with tooLarge set,
// so /dev/zero ends quickly instead of filling memory. A FIFO that nobody
// writes to reads as empty rather than blocking.
ReadResult readAtMost(const QString& path, qint64 limit);

// The text for a file past its limit, e.g. "larger than 4096 bytes".
QString tooLargeText(qint64 limit);

// Puts bytes into path.
// - A regular file (or a new one) is written to a temporary file beside it
//   and renamed over it, so a full disk, a file-size limit or a crash leaves
//   the previous file whole. Its permissions are kept.
// - A character device or a FIFO is written directly (a FIFO nobody reads is
//   refused rather than waited for).
// - Anything else (a folder, a block device, a socket) is refused.
// Symbolic links are followed: the file they point to is replaced, the link
// stays. False with the reason in *error.
bool saveFile(const QString& path, const QByteArray& bytes, QString* error);

// A file-size limit must show as a failed write (EFBIG), not end the program.
// Idempotent; saveFile calls it too.
void ignoreFileSizeSignal();

// Standard output as a device that writes straight to file descriptor 1 and
// remembers the first failure with the system's reason, so that a program can
// report a full disk under "> file" instead of exiting 0 with a cut file.
class StandardOutput : public QIODevice {
  public:
    explicit StandardOutput(int fd = 1);
    bool isSequential() const override { return true; }
    bool failed() const { return errorNumber_ != 0; }
    QString failure() const;  // "No space left on device"

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

  private:
    int fd_;
    int errorNumber_ = 0;
};

}  // namespace zendal::fileio
