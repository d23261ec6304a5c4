#pragma once

#include <QString>

namespace zendal::fuzz {

// Starts the application of a target that drives real windows (offscreen), once
// per process. HOME becomes a folder of this process, so nothing reaches the
// user's documents, and the version check goes to a closed loopback port.
// Returns that folder.
QString startOffscreenApplication(int* argc, char*** argv);

}  // namespace zendal::fuzz
