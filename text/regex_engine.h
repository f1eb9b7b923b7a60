// A small regular-expression engine for the feed fields and the mail
// placeholders.
//
// Why our own: the platform's scripting component is going away, and
// std::regex backtracks recursively, so a long feed value overflows the stack
// of a worker thread inside the user's mail client. This engine compiles the
// pattern without recursion and runs it as a Pike VM (a breadth-first
// simulation of the NFA). Threads are kept in priority order, so the captures
// are those a backtracking engine with greedy quantifiers would report
// (leftmost-first), while the time is linear in the text and the memory
// depends on the pattern only.
//
// Supported, case-sensitive, on UTF-16 code units:
//   literal characters; "\" followed by ASCII punctuation (a literal);
//   \s (space, tab, LF, CR, VT, FF); "." (anything but LF);
//   bracket classes [abc], [a-z], [^",}] with \s and escaped punctuation;
//   greedy *, + and ?; capture groups ( ).
// Anything else (alternation, anchors, {n,m}, lazy quantifiers, other
// escapes) fails to compile rather than being read in some other way.
// Nothing here throws but std::bad_alloc when memory runs out (and what a
// ForEachMatch visitor throws).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/codepage.h"

namespace gw {

namespace regex_detail {

enum class Op : uint8_t { kChar, kAny, kClass, kSplit, kJump, kSave, kMatch };

// kChar: ch. kClass: x = class index. kSplit: x preferred, y second.
// kJump: x. kSave: x = capture slot.
struct Inst {
  Op op;
  char16_t ch;
  uint32_t x;
  uint32_t y;
};

struct CharRange {
  char16_t lo;
  char16_t hi;
};

struct CharClass {
  std::vector<CharRange> ranges;
  bool negated = false;
  bool Contains(char16_t c) const;
};

}  // namespace regex_detail

// Where a match and its capture groups lie in the searched text.
class RegexMatch {
 public:
  static constexpr size_t kNoPos = static_cast<size_t>(-1);

  size_t Begin() const { return slots_.empty() ? kNoPos : slots_[0]; }
  size_t End() const { return slots_.size() < 2 ? kNoPos : slots_[1]; }
  // Group 0 is the whole match. False for a group that does not exist or
  // took no part in the match.
  bool HasGroup(size_t group) const;
  // The text of a group; empty when !HasGroup(group).
  WideView Group(WideView text, size_t group) const;

 private:
  friend class Regex;
  std::vector<size_t> slots_;  // begin and end of each group
};

class Regex {
 public:
  // Empty when the pattern uses anything outside the supported set, is
  // malformed, or exceeds the limits below.
  static std::optional<Regex> Compile(WideView pattern);

  // Patterns are field names and placeholders; these bounds keep the
  // machine's memory small whatever a caller passes.
  static constexpr size_t kMaxPatternLength = 16384;
  static constexpr size_t kMaxGroups = 16;

  // Capture groups in the pattern, not counting group 0.
  size_t GroupCount() const { return slots_ / 2 - 1; }

  // The leftmost match that starts at or after `from`.
  bool Search(WideView text, size_t from, RegexMatch& match) const;

  // Visits the leftmost non-overlapping matches from left to right until
  // `visit` returns false. After an empty match the next search starts one
  // character further on, so the walk always ends.
  void ForEachMatch(WideView text, const std::function<bool(const RegexMatch&)>& visit) const;

 private:
  class Compiler;
  class Machine;

  Regex() = default;

  std::vector<regex_detail::Inst> program_;
  std::vector<regex_detail::CharClass> classes_;
  size_t slots_ = 2;
  // The characters every match begins with (the pattern's leading literals),
  // which let the search skip ahead while no thread is alive.
  WideString prefix_;
};

}  // namespace gw
