#pragma once

#include <memory>
#include <string>

// Where and how much this module logs. Each module that compiles the logger
// (the VPN library, the service program) has its own settings.
struct LogSettings {
    std::string path;
    // The same path for the wide file functions: absolute and with the
    // long-path prefix, so that neither the log nor its ".old" file is
    // limited to the length the ANSI functions take.
    std::wstring filePath;
    int level = 0;
    bool enabled = true;
    int maxFileSize = 51200;

    // The settings in force. Writers take a snapshot without any lock; a
    // replacement swaps the whole record, so no writer sees half a path.
    static std::shared_ptr<const LogSettings> current();
    static void replace(const std::string& path, int level, bool enabled);

    static std::string defaultPath();
};
