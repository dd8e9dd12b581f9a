// A full disk for this process: while it lives, no file can grow beyond a few bytes (writes fail with
// EFBIG; the signal that would end the process is ignored).
#pragma once

#include <sys/resource.h>

#include <csignal>

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes = 16) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};
