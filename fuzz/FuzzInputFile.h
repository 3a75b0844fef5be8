// The fuzz input as a file, for readers that take a path: one temporary file is
// made per process, rewritten with each run's bytes and removed at exit.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

class FuzzInputFile {
public:
    // `suffix` ends the file name (".bmp", ".jpg"), as the application's files
    // are named.
    explicit FuzzInputFile(const std::string& suffix) {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-fuzz-XXXXXX").string() + suffix;
        fd_ = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
        if (fd_ < 0) {
            std::perror("mkstemps");
            std::abort();
        }
        path_ = pattern;
        // Paths under the temporary folder are ASCII, so each byte is one character.
        widePath_.assign(path_.begin(), path_.end());
    }
    ~FuzzInputFile() {
        close(fd_);
        unlink(path_.c_str());
    }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    // Replaces the file's contents with `size` bytes and returns its wide path.
    const wchar_t* Write(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0) Fail("ftruncate");
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) Fail("pwrite");
            done += static_cast<size_t>(n);
        }
        return widePath_.c_str();
    }

private:
    [[noreturn]] void Fail(const char* what) {
        std::perror(what);
        std::abort();
    }

    int fd_ = -1;
    std::string path_;
    std::wstring widePath_;
};
