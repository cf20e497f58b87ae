#pragma once

// A stream handed to a report's reader piece by piece, and at most as much of
// it as any report can be.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <streambuf>
#include <string>

namespace report {

// Far beyond any report (a million samples make a few megabytes), and a
// stop for /dev/zero.
inline constexpr std::size_t kMaxFileBytes = 64 << 20;

// Hands the parser at most a report's largest size of a stream, piece by
// piece: what is held never grows with the file, and /dev/zero ends.
class CappedSource final : public std::streambuf {
 public:
  explicit CappedSource(std::streambuf& source) : source_(source) {}

  // Bytes handed on so far.
  std::size_t passed() const { return passed_; }
  // The stream went on past the largest size.
  bool over() const { return over_; }
  // The error that stopped reading, or 0.
  int failure() const { return failure_; }
  // The first bytes, to tell Quorvane's other forms by.
  const std::string& head() const { return head_; }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) {
      return traits_type::to_int_type(*gptr());
    }
    if (over_ || failure_ != 0) {
      return traits_type::eof();
    }
    std::streamsize got = 0;
    try {
      errno = 0;
      got = source_.sgetn(piece_, sizeof piece_);
    } catch (...) {
      got = -1;
    }
    if (got <= 0) {
      // A file stream answers a failed read as an end; errno tells them apart.
      failure_ = got < 0 || errno != 0 ? (errno != 0 ? errno : EIO) : 0;
      return traits_type::eof();
    }
    const auto n = static_cast<std::size_t>(got);
    if (passed_ + n > kMaxFileBytes) {
      over_ = true;
      return traits_type::eof();
    }
    if (head_.size() < 16) {
      head_.append(piece_, std::min(n, 16 - head_.size()));
    }
    passed_ += n;
    setg(piece_, piece_, piece_ + n);
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::streambuf& source_;
  char piece_[1 << 16];
  std::size_t passed_ = 0;
  bool over_ = false;
  int failure_ = 0;
  std::string head_;
};

}  // namespace report
