#include "text/regex_engine.h"

#include <algorithm>
#include <utility>

namespace gw {

using regex_detail::CharClass;
using regex_detail::CharRange;
using regex_detail::Inst;
using regex_detail::Op;

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
constexpr size_t kNoPos = RegexMatch::kNoPos;

bool IsAsciiPunct(char16_t c) {
  bool alnum = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
  return c > 0x20 && c < 0x7F && !alnum;
}

// \s: exactly space and the five controls from tab to carriage return.
void AddSpaces(CharClass& cls) {
  cls.ranges.push_back({u'\t', u'\r'});
  cls.ranges.push_back({u' ', u' '});
}

}  // namespace

bool regex_detail::CharClass::Contains(char16_t c) const {
  bool in = false;
  for (const CharRange& r : ranges) {
    if (c >= r.lo && c <= r.hi) {
      in = true;
      break;
    }
  }
  return in != negated;
}

bool RegexMatch::HasGroup(size_t group) const {
  size_t i = 2 * group;
  return i + 1 < slots_.size() && slots_[i] != kNoPos && slots_[i + 1] != kNoPos;
}

WideView RegexMatch::Group(WideView text, size_t group) const {
  if (!HasGroup(group)) return {};
  size_t b = slots_[2 * group];
  size_t e = slots_[2 * group + 1];
  if (b > e || e > text.size()) return {};
  return text.substr(b, e - b);
}

// Reads the pattern left to right in one loop and emits instructions as it
// goes. A quantifier wraps the last atom, whose first instruction is known,
// by inserting a split in front of it; open groups sit on an explicit stack.
class Regex::Compiler {
 public:
  explicit Compiler(WideView pattern) : p_(pattern) {}

  bool Run(Regex& re);

 private:
  struct OpenGroup {
    size_t start;
    uint32_t group;
  };

  bool ParseOne();
  bool ParseEscape();
  bool ParseClass();
  bool ParseClassItem(CharClass& cls);
  bool ReadClassChar(char16_t& c);
  bool OpenGroupAt();
  bool CloseGroup();
  bool Quantify(char16_t q);
  void BeginAtom() { atom_ = code_.size(); }
  void Emit(Op op, char16_t ch = 0, uint32_t x = 0, uint32_t y = 0) { code_.push_back({op, ch, x, y}); }
  void Insert(size_t at, Inst inst);

  WideView p_;
  size_t i_ = 0;
  std::vector<Inst> code_;
  std::vector<CharClass> classes_;
  std::vector<OpenGroup> open_;
  uint32_t groups_ = 0;
  size_t atom_ = kNone;  // first instruction of the atom a quantifier may follow
};

bool Regex::Compiler::Run(Regex& re) {
  if (p_.size() > kMaxPatternLength) return false;
  Emit(Op::kSave, 0, 0);
  while (i_ < p_.size()) {
    if (!ParseOne()) return false;
  }
  if (!open_.empty()) return false;
  Emit(Op::kSave, 0, 1);
  Emit(Op::kMatch);
  // Control flows from the first save straight through the leading run of
  // literals (a quantifier on any of them would have put a split in front),
  // so every match starts with that run.
  for (size_t k = 1; k < code_.size() && code_[k].op == Op::kChar; ++k) re.prefix_.push_back(code_[k].ch);
  re.program_ = std::move(code_);
  re.classes_ = std::move(classes_);
  re.slots_ = 2 * (static_cast<size_t>(groups_) + 1);
  return true;
}

bool Regex::Compiler::ParseOne() {
  char16_t c = p_[i_++];
  switch (c) {
    case u'\\':
      return ParseEscape();
    case u'[':
      return ParseClass();
    case u'(':
      return OpenGroupAt();
    case u')':
      return CloseGroup();
    case u'*':
    case u'+':
    case u'?':
      return Quantify(c);
    case u'.':
      BeginAtom();
      Emit(Op::kAny);
      return true;
    case u'{':
    case u'|':
    case u'^':
    case u'$':
      return false;
    default:
      BeginAtom();
      Emit(Op::kChar, c);
      return true;
  }
}

bool Regex::Compiler::ParseEscape() {
  if (i_ >= p_.size()) return false;
  char16_t c = p_[i_++];
  BeginAtom();
  if (c == u's') {
    CharClass cls;
    AddSpaces(cls);
    classes_.push_back(std::move(cls));
    Emit(Op::kClass, 0, static_cast<uint32_t>(classes_.size() - 1));
    return true;
  }
  if (!IsAsciiPunct(c)) return false;
  Emit(Op::kChar, c);
  return true;
}

bool Regex::Compiler::ParseClass() {
  CharClass cls;
  if (i_ < p_.size() && p_[i_] == u'^') {
    cls.negated = true;
    ++i_;
  }
  // "[]" means an empty class to some engines and a literal "]" to others;
  // refuse it rather than guess.
  bool any = false;
  while (i_ < p_.size()) {
    if (p_[i_] == u']') {
      if (!any) return false;
      ++i_;
      BeginAtom();
      classes_.push_back(std::move(cls));
      Emit(Op::kClass, 0, static_cast<uint32_t>(classes_.size() - 1));
      return true;
    }
    if (!ParseClassItem(cls)) return false;
    any = true;
  }
  return false;  // no closing bracket
}

bool Regex::Compiler::ParseClassItem(CharClass& cls) {
  if (p_[i_] == u'\\' && i_ + 1 < p_.size() && p_[i_ + 1] == u's') {
    i_ += 2;
    AddSpaces(cls);
    return true;
  }
  char16_t lo = 0;
  if (!ReadClassChar(lo)) return false;
  char16_t hi = lo;
  // A "-" between two characters makes a range; first or last it is literal.
  if (i_ + 1 < p_.size() && p_[i_] == u'-' && p_[i_ + 1] != u']') {
    ++i_;
    if (p_[i_] == u'\\' && i_ + 1 < p_.size() && p_[i_ + 1] == u's') return false;
    if (!ReadClassChar(hi) || hi < lo) return false;
  }
  cls.ranges.push_back({lo, hi});
  return true;
}

bool Regex::Compiler::ReadClassChar(char16_t& c) {
  c = p_[i_++];
  if (c != u'\\') return true;
  if (i_ >= p_.size()) return false;
  c = p_[i_++];
  return IsAsciiPunct(c);
}

bool Regex::Compiler::OpenGroupAt() {
  if (groups_ >= kMaxGroups) return false;
  ++groups_;
  open_.push_back({code_.size(), groups_});
  Emit(Op::kSave, 0, 2 * groups_);
  atom_ = kNone;  // "(*" has nothing to repeat
  return true;
}

bool Regex::Compiler::CloseGroup() {
  if (open_.empty()) return false;
  OpenGroup g = open_.back();
  open_.pop_back();
  Emit(Op::kSave, 0, 2 * g.group + 1);
  atom_ = g.start;
  return true;
}

// The atom occupies [a, end). Layouts, with L the atom:
//   L*  ->  split L, out; L; jump split; out:
//   L+  ->  L; split L, out; out:
//   L?  ->  split L, out; L; out:
bool Regex::Compiler::Quantify(char16_t q) {
  if (atom_ == kNone) return false;  // nothing to repeat, or a second quantifier
  size_t a = atom_;
  atom_ = kNone;
  auto at = [](size_t n) { return static_cast<uint32_t>(n); };
  if (q == u'+') {
    Emit(Op::kSplit, 0, at(a), at(code_.size() + 1));
    return true;
  }
  size_t end = code_.size();
  if (q == u'*') {
    Insert(a, {Op::kSplit, 0, at(a + 1), at(end + 2)});
    Emit(Op::kJump, 0, at(a));
  } else {
    Insert(a, {Op::kSplit, 0, at(a + 1), at(end + 1)});
  }
  return true;
}

// Only the atom's own instructions (from `at` on) can jump to `at` or past
// it; earlier ones that point at `at` mean the new instruction and stay.
void Regex::Compiler::Insert(size_t at, Inst inst) {
  for (size_t k = at; k < code_.size(); ++k) {
    Inst& in = code_[k];
    if (in.op != Op::kSplit && in.op != Op::kJump) continue;
    if (in.x >= at) ++in.x;
    if (in.op == Op::kSplit && in.y >= at) ++in.y;
  }
  code_.insert(code_.begin() + static_cast<std::ptrdiff_t>(at), inst);
}

// The Pike VM. Each list holds the threads at one text position in priority
// order (a sparse set over program counters, so a state enters a list once),
// with a copy of the capture slots for every thread. Epsilon moves are
// followed with an explicit stack whose "restore" entries undo a save once the
// branch that made it has been explored.
class Regex::Machine {
 public:
  explicit Machine(const Regex& re);
  bool Search(WideView text, size_t from, std::vector<size_t>& best);

 private:
  struct List {
    std::vector<uint32_t> sparse;
    std::vector<uint32_t> dense;
    uint32_t count = 0;
    std::vector<size_t> caps;  // slots of the thread at pc: caps[pc * slots]
    bool Contains(uint32_t pc) const { return sparse[pc] < count && dense[sparse[pc]] == pc; }
    void Insert(uint32_t pc) {
      sparse[pc] = count;
      dense[count++] = pc;
    }
  };
  struct Entry {
    uint32_t index;  // pc to follow, or slot to restore
    bool restore;
    size_t value;
  };

  void Add(List& list, uint32_t pc, size_t pos);
  // Written field by field into place: building an entry elsewhere and
  // copying it makes the compiler store it in parts and load it whole, which
  // stalls the processor on every push.
  void Push(uint32_t index, bool restore, size_t value) {
    Entry& e = stack_[top_++];
    e.index = index;
    e.restore = restore;
    e.value = value;
  }
  void Follow(List& list, uint32_t pc, size_t pos);
  bool Step(WideView text, size_t pos, std::vector<size_t>& best);
  bool Accepts(const Inst& in, char16_t c) const;
  // A plain loop: the slot count is small, and a library copy of a size
  // unknown at compile time costs a call each time.
  void CopySlots(const size_t* from, size_t* to) const {
    for (size_t k = 0; k < slots_; ++k) to[k] = from[k];
  }

  const Regex& re_;
  size_t slots_;
  List lists_[2];
  List* clist_;
  List* nlist_;
  std::vector<size_t> work_;  // slots of the thread being followed
  // Every push comes with a state entering the list, so one entry per
  // instruction is all the stack can ever hold.
  std::vector<Entry> stack_;
  size_t top_ = 0;
};

Regex::Machine::Machine(const Regex& re)
    : re_(re), slots_(re.slots_), clist_(&lists_[0]), nlist_(&lists_[1]), work_(re.slots_, kNoPos) {
  size_t n = re.program_.size();
  for (List& l : lists_) {
    l.sparse.assign(n, 0);
    l.dense.assign(n, 0);
    l.caps.assign(n * slots_, kNoPos);
  }
  stack_.resize(n + 1);
}

bool Regex::Machine::Search(WideView text, size_t from, std::vector<size_t>& best) {
  bool matched = false;
  clist_->count = 0;
  for (size_t pos = from; pos <= text.size(); ++pos) {
    if (!matched) {
      if (clist_->count == 0 && !re_.prefix_.empty()) {
        pos = text.find(re_.prefix_, pos);
        if (pos == WideView::npos) break;
      }
      std::fill(work_.begin(), work_.end(), kNoPos);
      Add(*clist_, 0, pos);  // lowest priority: after every thread already alive
    }
    if (clist_->count == 0) break;
    nlist_->count = 0;
    if (Step(text, pos, best)) matched = true;
    std::swap(clist_, nlist_);
  }
  return matched;
}

// Runs the threads at `pos` in priority order. A thread that reaches the end
// of the pattern is the best match so far and ends every thread below it.
bool Regex::Machine::Step(WideView text, size_t pos, std::vector<size_t>& best) {
  const List& list = *clist_;
  for (uint32_t i = 0; i < list.count; ++i) {
    uint32_t pc = list.dense[i];
    const Inst& in = re_.program_[pc];
    const size_t* caps = &list.caps[pc * slots_];
    if (in.op == Op::kMatch) {
      best.resize(slots_);
      CopySlots(caps, best.data());
      return true;
    }
    if (pos < text.size() && Accepts(in, text[pos])) {
      CopySlots(caps, work_.data());
      Add(*nlist_, pc + 1, pos + 1);
    }
  }
  return false;
}

bool Regex::Machine::Accepts(const Inst& in, char16_t c) const {
  switch (in.op) {
    case Op::kChar:
      return c == in.ch;
    case Op::kAny:
      return c != u'\n';
    case Op::kClass:
      return re_.classes_[in.x].Contains(c);
    default:
      return false;  // control instructions never stand in a list as threads
  }
}

void Regex::Machine::Add(List& list, uint32_t pc, size_t pos) {
  top_ = 0;
  Follow(list, pc, pos);
  while (top_ > 0) {
    const Entry& e = stack_[--top_];
    if (e.restore) {
      work_[e.index] = e.value;
    } else {
      Follow(list, e.index, pos);
    }
  }
}

// Follows the preferred branch in place and leaves the other on the stack, so
// every state reachable without consuming enters the list in priority order.
void Regex::Machine::Follow(List& list, uint32_t pc, size_t pos) {
  while (!list.Contains(pc)) {
    list.Insert(pc);
    const Inst& in = re_.program_[pc];
    switch (in.op) {
      case Op::kJump:
        pc = in.x;
        break;
      case Op::kSplit:
        Push(in.y, false, 0);
        pc = in.x;
        break;
      case Op::kSave:
        Push(in.x, true, work_[in.x]);
        work_[in.x] = pos;
        ++pc;
        break;
      default:
        CopySlots(work_.data(), &list.caps[pc * slots_]);
        return;
    }
  }
}

bool Regex::Search(WideView text, size_t from, RegexMatch& match) const {
  if (from > text.size()) return false;
  Machine machine(*this);
  return machine.Search(text, from, match.slots_);
}

void Regex::ForEachMatch(WideView text, const std::function<bool(const RegexMatch&)>& visit) const {
  Machine machine(*this);
  RegexMatch match;
  size_t pos = 0;
  while (pos <= text.size() && machine.Search(text, pos, match.slots_)) {
    if (!visit(match)) return;
    pos = match.End() > match.Begin() ? match.End() : match.End() + 1;
  }
}

std::optional<Regex> Regex::Compile(WideView pattern) {
  Regex re;
  Compiler compiler(pattern);
  if (!compiler.Run(re)) return std::nullopt;
  return re;
}

}  // namespace gw
