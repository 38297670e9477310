// Points one of the program's console streams at a temporary file for the
// life of the object and gives back what was written to it.
#pragma once

#include <cstdio>
#include <string>

class StreamCapture {
 public:
  explicit StreamCapture(FILE*& stream) : stream_(stream), saved_(stream), file_(std::tmpfile()) {
    stream_ = file_;
  }
  ~StreamCapture() {
    stream_ = saved_;
    std::fclose(file_);
  }
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;

  std::string text() {
    std::fflush(file_);
    long end = std::ftell(file_);
    std::string content(static_cast<size_t>(end), '\0');
    std::rewind(file_);
    size_t got = std::fread(content.data(), 1, content.size(), file_);
    content.resize(got);
    std::fseek(file_, 0, SEEK_END);
    return content;
  }

 private:
  FILE*& stream_;
  FILE* saved_;
  FILE* file_;
};
