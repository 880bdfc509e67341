#pragma once

#include <string>
#include <vector>

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test is done.
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

bool fileExists(const std::string& path);
std::string readFile(const std::string& path);
// The file's lines without their CR LF endings.
std::vector<std::string> readLines(const std::string& path);
// The messages of a log file's lines, without their headers.
std::vector<std::string> logMessages(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
