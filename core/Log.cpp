#include "core/Log.h"

namespace zendal {

Log& Log::instance() {
    static Log log;
    return log;
}

void Log::add(const QString& line, bool follow) {
    lines_.append(line);
    if (mirror_) mirror_(line);
    emit lineAdded(line, follow);
}

void Log::clear() {
    lines_.clear();
    emit cleared();
}

void DebugPrint(const QString& text) {
    Log::instance().add(text, true);
}

void DebugAppend(const QString& text) {
    Log::instance().add(text, false);
}

}  // namespace zendal
