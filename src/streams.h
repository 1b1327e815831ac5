#ifndef GUESS_STREAMS_H_
#define GUESS_STREAMS_H_

#include <cstddef>
#include <string>
#include <string_view>

// The bytes that the game reads, taken one at a time from a buffer that `refill` fills. Byte
// streams of the game's own, without the standard library's locales and formatting, which the
// game does not use and which made most of its WebAssembly build.
class Input {
 public:
  // What `peek` and `take` return once input has ended.
  static constexpr int End = -1;

  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // The next byte, from 0 to 255, without taking it; End where input has ended.
  int peek() { return next_ != end_ || refill() ? static_cast<unsigned char>(*next_) : End; }

  // Takes the next byte and returns it; End where input has ended.
  int take() {
    const int c = peek();
    next_ += c == End ? 0 : 1;
    return c;
  }

  // Takes the next byte and returns the one after it without taking it; End where input ends.
  int next() {
    take();
    return peek();
  }

 protected:
  // Never destroyed through the base class: no virtual destructor, which would bring the heap's
  // operator delete into the program.
  Input() = default;
  ~Input() = default;

  // Makes the `size` bytes at `data` the ones to read next.
  void setBuffer(const char* data, std::size_t size) {
    next_ = data;
    end_ = data + size;
  }

  // How many bytes of the buffer are left to read.
  std::size_t available() const { return static_cast<std::size_t>(end_ - next_); }

 private:
  // Sets a buffer of more bytes and returns true, or returns false where input has ended.
  virtual bool refill() = 0;

  const char* next_ = nullptr;
  const char* end_ = nullptr;
};

// Where the game writes: bytes gather in a buffer that `deliver` empties when it is full and on
// flush. Once a write has failed, every later write and flush fails too, and nothing more is
// delivered.
class Output {
 public:
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Adds `text`; false where output has failed, now or before.
  bool write(std::string_view text);

  // Delivers what the buffer holds; false where output has failed, now or before.
  bool flush();

 protected:
  // As Input, never destroyed through the base class.
  Output() = default;
  ~Output() = default;

  // Gathers bytes in the `size` bytes at `buffer`, which must be empty; with none, as at first,
  // each write is delivered at once.
  void setBuffer(char* buffer, std::size_t size) {
    begin_ = buffer;
    next_ = buffer;
    end_ = buffer + size;
  }

 private:
  // Writes all `size` bytes at `data`; false where any could not be written.
  virtual bool deliver(const char* data, std::size_t size) = 0;

  char* begin_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  bool failed_ = false;
};

// Input that is all in a string, which must outlive it.
class StringInput final : public Input {
 public:
  explicit StringInput(std::string_view text) : text_(text) { setBuffer(text.data(), text.size()); }

  // What has not been taken.
  std::string_view unread() const { return text_.substr(text_.size() - available()); }

 private:
  bool refill() override { return false; }

  std::string_view text_;
};

// Output gathered in a string, `text`.
class StringOutput final : public Output {
 public:
  std::string text;

 private:
  bool deliver(const char* data, std::size_t size) override {
    text.append(data, size);
    return true;
  }
};

#endif  // GUESS_STREAMS_H_
