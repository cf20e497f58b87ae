#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace tui {

// While it lives, passes everything written to `out` on, except requests for
// the cursor position. The screen library asks now and then, to place mouse
// events (which Quorvane does not take); an answer still on its way when the
// screen stops reading the terminal (quit, Ctrl+Z, a stop from outside)
// would be read by the shell as typed text.
class CursorQueryFilter final : public std::streambuf {
 public:
  explicit CursorQueryFilter(std::ostream& out);
  CursorQueryFilter(const CursorQueryFilter&) = delete;
  CursorQueryFilter& operator=(const CursorQueryFilter&) = delete;
  ~CursorQueryFilter() override;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  static constexpr std::string_view kQuery = "\x1B[6n";

  void put(char c);

  std::ostream& out_;
  std::streambuf* const target_;
  // The start of a query seen so far, held back until it is known.
  std::string pending_;
};

}  // namespace tui
