// A disk that takes the data of one replaced file into its cache but fails to write it: the
// n-th file (counting from 1) whose data is flushed while this object lives.
#pragma once

#include "atomic_file.h"

class FailingDisk {
  public:
    explicit FailingDisk(int failingFlush)
        : failingFlush_(failingFlush), realFlush_(replaceDiskFlush([this](std::FILE* file) {
              return ++flushes_ != failingFlush_ && realFlush_(file);
          })) {}
    ~FailingDisk() { replaceDiskFlush(realFlush_); }
    FailingDisk(const FailingDisk&) = delete;
    FailingDisk& operator=(const FailingDisk&) = delete;

  private:
    int failingFlush_;
    int flushes_ = 0;
    DiskFlush realFlush_;
};
