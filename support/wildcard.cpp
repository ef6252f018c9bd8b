// One forward pass with a single resume point: after a mismatch the match
// resumes just past the last occurrence of the literal that followed the
// last star. Masks with a star directly followed by ? therefore reject some
// names that general backtracking would accept (*?X against AXX); callers
// rely on exactly this behaviour.
#include "support/wildcard.h"

#include <algorithm>

#include "core/Error.h"

namespace vx {

namespace {

class Matcher {
 public:
  Matcher(const std::string& mask, const std::string& text, std::size_t start)
      : mask_(mask), text_(text), t_(start) {}

  bool Run() {
    bool scanning = false;
    for (;;) {
      const Step step = scanning ? Scan() : Direct();
      if (step == Step::True) return true;
      if (step == Step::False) return false;
      scanning = step == Step::ToScan;
    }
  }

 private:
  enum class Step { True, False, ToScan, ToDirect };

  bool MaskDone() const { return m_ >= mask_.size(); }
  bool TextDone() const { return t_ >= text_.size(); }

  // Back to the resume point, or no match when no star was met.
  Step Retry() {
    if (!starMet_) return Step::False;
    t_ = resumeText_;
    m_ = resumeMask_;
    return Step::ToScan;
  }

  void PassStar() {
    ++m_;
    resumeMask_ = m_;
    starMet_ = true;
  }

  // Characters must line up one to one until a star or a mismatch.
  Step Direct() {
    while (!MaskDone()) {
      const char c = mask_[m_];
      if (c == '*') {
        PassStar();
        return Step::ToScan;
      }
      if (TextDone()) return Step::False;
      if (c != '?' && c != text_[t_]) return Retry();
      ++m_;
      ++t_;
    }
    return TextDone() ? Step::True : Retry();
  }

  // After a star: look ahead in the text for the mask's next literal.
  Step Scan() {
    while (!MaskDone()) {
      const char c = mask_[m_];
      if (c == '*') {
        PassStar();
        continue;
      }
      if (c == '?') {
        if (TextDone()) return Step::False;
        ++m_;
        ++t_;
        continue;
      }
      const std::size_t found = text_.find(c, t_);
      if (found == std::string::npos) return Step::False;
      t_ = found + 1;
      resumeText_ = t_;
      ++m_;
      return Step::ToDirect;
    }
    return Step::True;  // a trailing star takes the rest of the text
  }

  const std::string& mask_;
  const std::string& text_;
  std::size_t m_ = 0;
  std::size_t t_;
  bool starMet_ = false;
  std::size_t resumeMask_ = 0;
  std::size_t resumeText_ = 0;
};

}  // namespace

bool WildcardMatch(const std::string& mask, const std::string& text, std::size_t startPosition) {
  if (mask.empty()) VX_RAISE("Exception", "Search string cannot be blank");
  if (mask == "*") return true;
  if (text.empty()) return false;
  // A start past the end leaves nothing to consider; clamp it rather than read out of range.
  const std::size_t start = startPosition == 0 ? 0 : std::min(startPosition - 1, text.size());
  return Matcher(mask, text, start).Run();
}

}  // namespace vx
