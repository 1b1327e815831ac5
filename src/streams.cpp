#include "streams.h"

#include <cstring>

bool Output::write(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(end_ - next_)) {
    if (!flush()) {
      return false;
    }
    if (text.size() > static_cast<std::size_t>(end_ - begin_)) {
      failed_ = !deliver(text.data(), text.size());
      return !failed_;
    }
  }
  if (!failed_ && !text.empty()) {
    std::memcpy(next_, text.data(), text.size());
    next_ += text.size();
  }
  return !failed_;
}

bool Output::flush() {
  if (!failed_ && next_ != begin_) {
    failed_ = !deliver(begin_, static_cast<std::size_t>(next_ - begin_));
  }
  next_ = begin_;
  return !failed_;
}
