#pragma once

#include <QString>

#include <array>

// The last extracted record: twelve lines, index 0 is frame line 1.
// Lines 2, 3, 5, 6, 9 and 10 double as the controller's settings record.
using FrameLines = std::array<QString, 12>;

// The settings as the integer texts the controller receives.
// Entry N is settings field N; entries 1 to 11 are used, entry 0 never.
using SettingsFields = std::array<QString, 16>;
