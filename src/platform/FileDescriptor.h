#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/types.h>

#include <cstddef>

namespace vk {

// An open file descriptor that is closed whatever happens, once.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Closes it now; false with errno set when the last writes failed (a full disk shows here on
    // some file systems).
    bool close();
    // Gives the descriptor up without closing it.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Writes all size bytes, again after an interrupted call. False with errno set when that fails;
// a write that takes nothing counts as a full disk (ENOSPC).
bool writeAll(int fd, const char* data, std::size_t size);

}  // namespace vk
#endif
