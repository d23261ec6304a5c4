#pragma once

#include <cstdio>
#include <cstdlib>

#include "core/Log.h"

namespace zendal::fuzz {

// ZENDAL_FUZZ_VERBOSE=1 mirrors the editor's log to stderr: what a run did,
// when a finding is replayed by hand.
inline void mirrorLogWhenAsked() {
    static const bool once = [] {
        if (std::getenv("ZENDAL_FUZZ_VERBOSE")) {
            Log::instance().setMirror([](const QString& line) {
                std::fprintf(stderr, "log: %s\n", line.toLocal8Bit().constData());
            });
        }
        return true;
    }();
    (void)once;
}

}  // namespace zendal::fuzz
