// Descriptor: the owner of one open file descriptor, closed on every way out (destructor, reset).
//
// Owns the descriptor it holds. Movable, not copyable; -1 holds none.
// REQUIRES: the process does not close the descriptor behind this object's back.
#pragma once

#include <unistd.h>

#include <utility>

namespace platform {

class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Closes the descriptor held and holds fd instead.
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Gives the descriptor up without closing it; the caller owns it from here.
    int release() noexcept { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
};

}  // namespace platform
