#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace zendal {

// The editor's log: every exchange with the pedal, every file read and every
// upgrade step leaves a line here. The debug console shows it; command-line
// tools may mirror it to stderr. Library code never prints.
class Log : public QObject {
    Q_OBJECT
  public:
    static Log& instance();

    // Appends a line; `follow` says whether a viewer in follow mode should scroll.
    void add(const QString& line, bool follow);
    void clear();
    const QStringList& lines() const { return lines_; }

    // Mirror every line to a callback as well (zendalctl --verbose); empty to stop.
    using Mirror = std::function<void(const QString&)>;
    void setMirror(Mirror mirror) { mirror_ = std::move(mirror); }

  signals:
    void lineAdded(const QString& line, bool follow);
    void cleared();

  private:
    Log() = default;
    QStringList lines_;
    Mirror mirror_;
};

// Appends one line to the debug console's log and scrolls it while follow mode is on.
void DebugPrint(const QString& text);
// Appends one line without scrolling.
void DebugAppend(const QString& text);

}  // namespace zendal
