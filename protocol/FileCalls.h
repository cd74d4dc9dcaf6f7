#pragma once

// The system calls that decide whether a whole-file write reaches the disk, and in what order,
// behind a seam like the serial layer's: a test can record their order and make any of them
// fail. The Linux file layer (FileIoPosix.cpp) makes these calls through it.

#include <sys/types.h>

class FileCalls {
public:
    virtual ~FileCalls() = default;
    // As the system calls of these names: -1 and errno on failure.
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int rename(const char* from, const char* to);

    // The calls in use: the system's, unless a test has put its own in place.
    static FileCalls& current();
    // Puts calls in place until the returned guard goes; for tests.
    class Override {
    public:
        explicit Override(FileCalls& calls);
        ~Override();
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        FileCalls* previous_;
    };
};
