#include "tui/cursor_query_filter.hpp"

#include <algorithm>

namespace tui {

CursorQueryFilter::CursorQueryFilter(std::ostream& out) : out_(out), target_(out.rdbuf()) { out_.rdbuf(this); }

CursorQueryFilter::~CursorQueryFilter() {
  target_->sputn(pending_.data(), static_cast<std::streamsize>(pending_.size()));
  target_->pubsync();
  out_.rdbuf(target_);
}

void CursorQueryFilter::put(char c) {
  pending_ += c;
  if (kQuery.starts_with(pending_)) {
    if (pending_.size() == kQuery.size()) {
      pending_.clear();
    }
    return;
  }
  // Not a query after all: it goes out, but for an escape that may begin one.
  const bool escape = c == kQuery.front();
  target_->sputn(pending_.data(), static_cast<std::streamsize>(pending_.size() - (escape ? 1 : 0)));
  pending_ = escape ? std::string(1, c) : std::string();
}

CursorQueryFilter::int_type CursorQueryFilter::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    put(traits_type::to_char_type(c));
  }
  return traits_type::not_eof(c);
}

std::streamsize CursorQueryFilter::xsputn(const char* s, std::streamsize n) {
  const char* const end = s + n;
  while (s != end) {
    if (pending_.empty()) {
      // Frames are long runs without an escape: those go out in one piece.
      const char* escape = std::find(s, end, kQuery.front());
      target_->sputn(s, escape - s);
      s = escape;
      if (s == end) {
        break;
      }
    }
    put(*s++);
  }
  return n;
}

int CursorQueryFilter::sync() { return target_->pubsync(); }

}  // namespace tui
