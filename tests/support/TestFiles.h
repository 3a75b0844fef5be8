// Helpers for tests that write files: a fresh temporary folder per test.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A new empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> ReadBytes(const std::string& path);
// A file's text; empty when it cannot be read.
std::string ReadText(const std::string& path);

}  // namespace testing_support
