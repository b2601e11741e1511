// Internals of CXmlDoc shared by its source files: the element record, the
// segmented element index, the markup tokenizer and the note writer. Not a
// public header; nothing outside CXmlDoc*.cpp includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/CXmlDoc.h"

namespace xmldoc {

// Limits set by the widths of the element record's fields.
constexpr std::size_t kMaxStartTag = (1u << 22) - 1;
constexpr std::size_t kMaxEndTag = (1u << 10) - 1;
constexpr int kMaxLevel = 0xFFFF;
// Offsets are 32-bit signed; a text must stay addressable by them.
constexpr std::size_t kMaxText = 0x7FFFFFFF;

enum ElementFlag : std::uint16_t {
  kFirstSibling = 1,
  kRemoved = 2,
  kUnended = 4,
  kIllData = 8,
  kIllFormed = 16,
};

inline bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// Letters, '_', ':' and everything above U+0060, which takes in every
// non-ASCII character without a table.
inline bool IsNameStart(char16_t c) {
  return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c > 0x60;
}
// White space, '/' and '>' end a tag name; one mask test covers them.
inline bool IsNameEnd(char16_t c) {
  constexpr std::uint64_t kEnds = (1ull << ' ') | (1ull << '\t') | (1ull << '\n') | (1ull << '\r') |
                                  (1ull << '/') | (1ull << '>');
  return c <= '>' && ((kEnds >> c) & 1) != 0;
}

enum class NodeKind : std::uint8_t {
  kStartTag,
  kEndTag,
  kText,
  kCData,
  kProcessing,
  kComment,
  kDoctype,
  kError,
};

// An element of the scanner's open-element stack. lastChild is kept here
// while the element is open; the first child's link to the last sibling is
// written when the element is closed.
struct OpenElement {
  int element;
  int lastChild;
  std::size_t nameStart;
  std::size_t nameLength;
  std::uint32_t hash;
};

// One markup construct. Offsets are into the tokenized text; for tags the
// name runs from nameStart to nameEnd.
struct Node {
  NodeKind kind = NodeKind::kText;
  bool empty = false;  // a start tag ending in "/>"
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t nameStart = 0;
  std::size_t nameEnd = 0;
  const char* fault = nullptr;      // note name of a syntax fault
  const char* faultType = nullptr;  // the open construct of "unterminated_tag_syntax"
};

// Splits a text into nodes in one forward pass. It never fails: faults come
// back as kError nodes and scanning goes on after them.
class Tokenizer {
public:
  explicit Tokenizer(std::u16string_view text, std::size_t pos = 0) : m_text(text), m_pos(pos) {}
  // False at the end of the text.
  bool Next(Node& node);
  std::size_t Position() const { return m_pos; }

private:
  void ScanMarkup(Node& node);
  void ScanStartTag(Node& node);
  void ScanEndTag(Node& node);
  void ScanExclamation(Node& node);
  void ScanDelimited(Node& node, std::size_t from, std::u16string_view close, NodeKind kind,
                     const char* type);
  void ScanDoctype(Node& node);
  void Fault(Node& node, const char* fault, const char* type, std::size_t end);

  std::u16string_view m_text;
  std::size_t m_pos;
};

// Offset of the next '<' at or after pos, or the text's size.
std::size_t FindTagOpen(std::u16string_view text, std::size_t pos);

// One attribute of a start tag. The value range includes its quotes;
// hasValue is false for a bare name such as `<option selected>`.
struct Attribute {
  std::size_t nameStart = 0;
  std::size_t nameEnd = 0;
  std::size_t valueStart = 0;
  std::size_t valueEnd = 0;
  bool hasValue = false;
  char16_t quote = 0;
};

// Walks the attributes of a start tag. Used by the tokenizer to find where
// the tag ends (a '>' inside quotes does not end it) and by GetAttr/SetAttr.
class AttributeReader {
public:
  // pos is the first character after the tag name.
  AttributeReader(std::u16string_view text, std::size_t pos) : m_text(text), m_pos(pos) {}
  // False at the end of the tag or text; then AtTagEnd tells which.
  bool Next(Attribute& attr);
  bool AtTagEnd() const { return m_tagEnd != 0; }
  // Offset after the closing '>', valid when AtTagEnd.
  std::size_t TagEnd() const { return m_tagEnd; }
  bool Empty() const { return m_empty; }

private:
  void ReadValue(Attribute& attr);

  std::u16string_view m_text;
  std::size_t m_pos;
  std::size_t m_tagEnd = 0;
  bool m_empty = false;
};

// Collects the parse and load notes: one empty element per note. Adding
// stops once the text has passed 999 characters.
class NoteWriter {
public:
  explicit NoteWriter(std::u16string& notes) : m_notes(notes) {}
  NoteWriter& Begin(const char* name);
  NoteWriter& Attr(const char* name, std::u16string_view value);
  NoteWriter& Attr(const char* name, const char* value);
  NoteWriter& Attr(const char* name, long long value);
  void End();

private:
  std::u16string& m_notes;
  bool m_open = false;
};

}  // namespace xmldoc

struct CXmlDoc::Element {
  std::int32_t start = 0;
  std::int32_t length = 0;
  std::uint32_t startTagLength : 22 = 0;
  std::uint32_t endTagLength : 10 = 0;
  std::uint16_t level = 0;
  std::uint16_t flags = 0;
  std::int32_t parent = 0;
  std::int32_t firstChild = 0;
  std::int32_t next = 0;
  // For the first sibling this is the last sibling, so appending needs no walk.
  std::int32_t prev = 0;

  std::int32_t End() const { return start + length; }
  std::int32_t ContentStart() const { return start + static_cast<std::int32_t>(startTagLength); }
  std::int32_t ContentEnd() const { return End() - static_cast<std::int32_t>(endTagLength); }
};

// Element records numbered from 1 (0 is the document), stored in segments
// of 65,536 records reached through a table of segment pointers: full
// segments never move, only the last partial one is reallocated as it grows.
class CXmlDoc::Index {
public:
  static constexpr int kSegmentBits = 16;
  static constexpr int kSegmentSize = 1 << kSegmentBits;

  Element& operator[](int i) { return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)]; }
  const Element& operator[](int i) const {
    return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)];
  }

  // Empties the index down to the document record and reserves records.
  void Reset(std::size_t reserve);
  // A fresh record, reusing removed numbers first; 0 when the numbers
  // would leave the 32-bit range.
  int Add() {
    if (m_free.empty() && static_cast<std::size_t>(m_count) < m_capacity) {
      (*this)[m_count] = Element{};
      return m_count++;
    }
    return AddSlow();
  }
  // Returns an element and its whole subtree to the free numbers.
  void FreeSubtree(int e);
  // Number of record slots in use, including record 0 and freed ones.
  int Count() const { return m_count; }

  bool IsFirst(int e) const;
  int LastChild(int parent) const;
  int PrevSibling(int e) const;  // 0 for the first sibling
  void AppendChild(int parent, int e);
  void InsertAfter(int anchor, int e);
  void InsertBefore(int anchor, int e);
  void Unlink(int e);

  // Moves the start of e and of every element below it by delta.
  void ShiftSubtree(int e, int delta);
  // After the text changed by delta inside `parent` (0 = document level):
  // `from` and its later siblings move, every enclosing element grows.
  void ShiftFollowing(int parent, int from, int delta);
  // Recomputes every level from the parents after elements changed depth.
  void FixLevels();
  int Level(int e) const { return e ? (*this)[e].level : 0; }

  // Working storage of the scanner, kept between parses to save allocations.
  // The buckets are all zero whenever no scan is running.
  std::vector<xmldoc::OpenElement>& ScratchStack() { return m_scratchStack; }
  std::vector<std::uint32_t>& ScratchBuckets() { return m_scratchBuckets; }

private:
  int AddSlow();
  void Grow(std::size_t capacity);

  std::vector<std::unique_ptr<Element[]>> m_segments;
  std::vector<int> m_free;
  std::vector<xmldoc::OpenElement> m_scratchStack;
  std::vector<std::uint32_t> m_scratchBuckets;
  int m_count = 0;
  std::size_t m_capacity = 0;
};

// Builds the element index of a text: an open-element stack, unended and
// lone end tags, notes. Well-formed text takes a fast path that matches each
// end tag against the innermost open element only; the first end tag that
// does not match starts keeping per-name counts of the open elements, so
// that runs of lone end tags never walk a deep stack.
class CXmlDoc::Scanner {
public:
  Scanner(std::u16string_view text, Index& index, std::u16string& notes)
      : m_text(text), m_index(index), m_notes(notes), m_stack(index.ScratchStack()),
        m_openNames(index.ScratchBuckets()) {}
  // Indexes the whole text below record 0; true when well formed.
  bool Run();
  int TopLevelCount() const { return m_topLevel; }
  // A syntax fault, an unended or a lone tag was met.
  bool Faulty() const { return m_fault; }

private:
  using Open = xmldoc::OpenElement;

  std::size_t ScanOne(std::size_t pos);
  void OnStartTag(std::size_t start, std::size_t end, std::size_t nameEnd, bool empty);
  void OnEndTag(std::size_t start, std::size_t end, std::size_t nameEnd);
  void OnFault(const xmldoc::Node& node);
  void OnLimit(const char* note, std::size_t offset);
  bool IsTopName(std::size_t nameStart, std::size_t nameLength) const;
  int MatchOpen(std::size_t nameStart, std::size_t nameLength);
  void StartCounting();
  void Unend(std::size_t fromDepth);
  void Pop();
  void Seal(int parent, int lastChild);
  std::uint32_t HashName(std::size_t start, std::size_t length) const;

  std::u16string_view m_text;
  Index& m_index;
  std::u16string& m_notes;
  std::vector<Open>& m_stack;
  std::vector<std::uint32_t>& m_openNames;  // open elements per name hash bucket
  int m_rootLast = 0;
  int m_topLevel = 0;
  bool m_counting = false;
  bool m_fault = false;
  bool m_levelsMoved = false;
};
