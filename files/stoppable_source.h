// A file read on a thread that may be asked to stop: once it is, every read
// fails, so that whatever reads it gives up at its next block.
#pragma once

#include <atomic>
#include <memory>
#include <utility>

#include "files/file_source.h"

class StoppableFileSource final : public FileSource {
 public:
  StoppableFileSource(std::unique_ptr<FileSource> inner, const std::atomic<bool>& stop)
      : inner_(std::move(inner)), stop_(stop) {}
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    if (stop_) return std::nullopt;
    std::optional<std::size_t> got = inner_->Read(buffer, capacity);
    if (!got) error = inner_->error;
    return got;
  }

 private:
  std::unique_ptr<FileSource> inner_;
  const std::atomic<bool>& stop_;
};

// The same outcome, its file read that way.
inline OpenForReadingOutcome Stoppable(OpenForReadingOutcome opened, const std::atomic<bool>& stop) {
  if (opened.source) opened.source = std::make_unique<StoppableFileSource>(std::move(opened.source), stop);
  return opened;
}
