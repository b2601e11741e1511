// The tokenizer and the indexing pass of CXmlDoc.
#include <algorithm>
#include <cstring>

#include "support/CXmlDocIndex.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xmldoc {
namespace {

constexpr std::u16string_view kCommentOpen = u"<!--";
constexpr std::u16string_view kCDataOpen = u"<![CDATA[";
constexpr std::u16string_view kDoctypeOpen = u"<!DOCTYPE";

char16_t AsciiUpper(char16_t c) { return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c; }

// True when text at pos starts with `literal`; `partial` tells whether the
// text ends inside a prefix of it.
bool MatchesAt(std::u16string_view text, std::size_t pos, std::u16string_view literal,
               bool ignoreCase, bool& partial) {
  partial = false;
  std::size_t available = std::min(literal.size(), text.size() - pos);
  for (std::size_t i = 0; i < available; ++i) {
    char16_t c = ignoreCase ? AsciiUpper(text[pos + i]) : text[pos + i];
    if (c != literal[i]) return false;
  }
  if (available < literal.size()) {
    partial = true;
    return false;
  }
  return true;
}

}  // namespace

std::size_t FindTagOpen(std::u16string_view text, std::size_t pos) {
  const char16_t* data = text.data();
  std::size_t size = text.size();
#if defined(__SSE2__)
  // Text runs are most of a document; eight units per compare keeps them cheap.
  const __m128i open = _mm_set1_epi16(static_cast<short>(u'<'));
  while (pos + 8 <= size) {
    __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, open));
    if (mask != 0) return pos + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
    pos += 8;
  }
#endif
  while (pos < size && data[pos] != u'<') ++pos;
  return pos;
}

bool Tokenizer::Next(Node& node) {
  if (m_pos >= m_text.size()) return false;
  node.start = m_pos;
  node.fault = nullptr;
  node.faultType = nullptr;
  node.empty = false;
  if (m_text[m_pos] != u'<') {
    node.kind = NodeKind::kText;
    node.end = FindTagOpen(m_text, m_pos);
  } else {
    ScanMarkup(node);
  }
  m_pos = node.end;
  return true;
}

void Tokenizer::Fault(Node& node, const char* fault, const char* type, std::size_t end) {
  node.kind = NodeKind::kError;
  node.fault = fault;
  node.faultType = type;
  node.end = end;
}

void Tokenizer::ScanMarkup(Node& node) {
  std::size_t next = node.start + 1;
  if (next >= m_text.size()) return Fault(node, "unterminated_tag_syntax", "tag", m_text.size());
  char16_t c = m_text[next];
  if (IsNameStart(c)) return ScanStartTag(node);
  if (c == u'/') return ScanEndTag(node);
  if (c == u'?') {
    return ScanDelimited(node, next + 1, u"?>", NodeKind::kProcessing, "processing_instruction");
  }
  if (c == u'!') return ScanExclamation(node);
  // Not markup: the '<' is left as text and scanning goes on after it.
  Fault(node, "first_tag_syntax", nullptr, next);
}

void Tokenizer::ScanStartTag(Node& node) {
  std::size_t size = m_text.size();
  std::size_t i = node.start + 1;
  node.nameStart = i;
  while (i < size && !IsNameEnd(m_text[i])) ++i;
  node.nameEnd = i;
  AttributeReader reader(m_text, i);
  Attribute attr;
  while (reader.Next(attr)) {
  }
  if (!reader.AtTagEnd()) return Fault(node, "unterminated_tag_syntax", "start_tag", size);
  node.kind = NodeKind::kStartTag;
  node.end = reader.TagEnd();
  node.empty = reader.Empty();
}

void Tokenizer::ScanEndTag(Node& node) {
  std::size_t size = m_text.size();
  std::size_t i = node.start + 2;
  if (i >= size) return Fault(node, "unterminated_tag_syntax", "end_tag", size);
  if (!IsNameStart(m_text[i])) return Fault(node, "first_tag_syntax", nullptr, node.start + 1);
  node.nameStart = i;
  while (i < size && !IsNameEnd(m_text[i])) ++i;
  node.nameEnd = i;
  std::size_t close = m_text.find(u'>', i);
  if (close == std::u16string_view::npos) {
    return Fault(node, "unterminated_tag_syntax", "end_tag", size);
  }
  node.kind = NodeKind::kEndTag;
  node.end = close + 1;
}

void Tokenizer::ScanExclamation(Node& node) {
  std::size_t p = node.start;
  std::size_t size = m_text.size();
  if (size - p <= 2) return Fault(node, "unterminated_tag_syntax", "tag", size);
  bool partial = false;
  if (MatchesAt(m_text, p, kCommentOpen, false, partial)) {
    return ScanDelimited(node, p + kCommentOpen.size(), u"-->", NodeKind::kComment, "comment");
  }
  if (partial) return Fault(node, "unterminated_tag_syntax", "comment", size);
  if (MatchesAt(m_text, p, kCDataOpen, false, partial)) {
    return ScanDelimited(node, p + kCDataOpen.size(), u"]]>", NodeKind::kCData, "cdata_section");
  }
  if (partial) return Fault(node, "unterminated_tag_syntax", "cdata_section", size);
  if (MatchesAt(m_text, p, kDoctypeOpen, true, partial)) return ScanDoctype(node);
  if (partial) return Fault(node, "unterminated_tag_syntax", "document_type", size);
  switch (m_text[p + 2]) {
    case u'-':
      return Fault(node, "comment_tag_syntax", nullptr, p + 1);
    case u'[':
      return Fault(node, "cdata_section_syntax", nullptr, p + 1);
    case u'D':
    case u'd':
      return Fault(node, "doctype_tag_syntax", nullptr, p + 1);
    default:
      return Fault(node, "exclamation_tag_syntax", nullptr, p + 1);
  }
}

void Tokenizer::ScanDelimited(Node& node, std::size_t from, std::u16string_view close,
                              NodeKind kind, const char* type) {
  std::size_t found = m_text.find(close, from);
  if (found == std::u16string_view::npos) {
    return Fault(node, "unterminated_tag_syntax", type, m_text.size());
  }
  node.kind = kind;
  node.end = found + close.size();
}

// The declaration ends at the first '>' outside quotes and outside the
// internal subset in brackets.
void Tokenizer::ScanDoctype(Node& node) {
  int depth = 0;
  char16_t quote = 0;
  for (std::size_t i = node.start + kDoctypeOpen.size(); i < m_text.size(); ++i) {
    char16_t c = m_text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'[') {
      ++depth;
    } else if (c == u']') {
      if (depth > 0) --depth;
    } else if (c == u'>' && depth == 0) {
      node.kind = NodeKind::kDoctype;
      node.end = i + 1;
      return;
    }
  }
  Fault(node, "unterminated_tag_syntax", "document_type", m_text.size());
}

bool AttributeReader::Next(Attribute& attr) {
  const std::size_t size = m_text.size();
  std::size_t i = m_pos;
  for (;;) {
    while (i < size && IsSpace(m_text[i])) ++i;
    if (i >= size) {
      m_pos = size;
      return false;
    }
    char16_t c = m_text[i];
    if (c == u'>') {
      m_pos = m_tagEnd = i + 1;
      return false;
    }
    if (c == u'/' && i + 1 < size && m_text[i + 1] == u'>') {
      m_empty = true;
      m_pos = m_tagEnd = i + 2;
      return false;
    }
    if (c != u'/' && c != u'=') break;
    ++i;  // a stray '/' or '=' between attributes
  }
  attr.nameStart = i;
  while (i < size) {
    char16_t c = m_text[i];
    if (IsSpace(c) || c == u'=' || c == u'>' || c == u'/') break;
    ++i;
  }
  attr.nameEnd = i;
  std::size_t j = i;
  while (j < size && IsSpace(m_text[j])) ++j;
  if (j < size && m_text[j] == u'=') {
    m_pos = j + 1;
    ReadValue(attr);
  } else {
    attr.hasValue = false;
    attr.quote = 0;
    attr.valueStart = attr.valueEnd = attr.nameEnd;
    m_pos = i;
  }
  return true;
}

void AttributeReader::ReadValue(Attribute& attr) {
  const std::size_t size = m_text.size();
  std::size_t i = m_pos;
  while (i < size && IsSpace(m_text[i])) ++i;
  attr.hasValue = true;
  attr.valueStart = i;
  if (i < size && (m_text[i] == u'"' || m_text[i] == u'\'')) {
    attr.quote = m_text[i];
    std::size_t close = m_text.find(attr.quote, i + 1);
    // An unclosed quote runs to the end of the text: the tag is unterminated.
    attr.valueEnd = m_pos = (close == std::u16string_view::npos) ? size : close + 1;
    return;
  }
  attr.quote = 0;
  while (i < size) {
    char16_t c = m_text[i];
    if (IsSpace(c) || c == u'>' || (c == u'/' && i + 1 < size && m_text[i + 1] == u'>')) break;
    ++i;
  }
  attr.valueEnd = m_pos = i;
}

}  // namespace xmldoc

using xmldoc::Node;
using xmldoc::NodeKind;

namespace {
constexpr std::size_t kNameBuckets = 4096;
}

std::uint32_t CXmlDoc::Scanner::HashName(std::size_t start, std::size_t length) const {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = start; i < start + length; ++i) hash = (hash ^ m_text[i]) * 16777619u;
  return hash;
}

bool CXmlDoc::Scanner::Run() {
  m_stack.clear();
  std::size_t pos = 0;
  for (;;) {
    pos = xmldoc::FindTagOpen(m_text, pos);
    if (pos >= m_text.size()) break;
    pos = ScanOne(pos);
  }
  if (!m_stack.empty()) Unend(0);
  Seal(0, m_rootLast);
  m_counting = false;
  if (m_levelsMoved) m_index.FixLevels();
  m_index[0].length = static_cast<std::int32_t>(m_text.size());
  for (int e = m_index[0].firstChild; e != 0; e = m_index[e].next) ++m_topLevel;
  xmldoc::NoteWriter notes(m_notes);
  if (m_topLevel == 0) notes.Begin("no_root_element").End();
  if (m_topLevel > 1) notes.Begin("root_has_sibling").Attr("count", m_topLevel).End();
  return !m_fault && m_topLevel == 1;
}

// Handles the markup at pos ('<') and returns where scanning goes on. Plain
// `<name>`, `<name/>` and `</name>` are read here; everything else goes
// through the tokenizer, which gives the same result for these three.
std::size_t CXmlDoc::Scanner::ScanOne(std::size_t pos) {
  const char16_t* text = m_text.data();
  const std::size_t size = m_text.size();
  std::size_t i = pos + 1;
  if (i < size && xmldoc::IsNameStart(text[i])) {
    while (i < size && !xmldoc::IsNameEnd(text[i])) ++i;
    if (i < size && text[i] == u'>') {
      OnStartTag(pos, i + 1, i, false);
      return i + 1;
    }
    if (i + 1 < size && text[i] == u'/' && text[i + 1] == u'>') {
      OnStartTag(pos, i + 2, i, true);
      return i + 2;
    }
  } else if (i + 1 < size && text[i] == u'/' && xmldoc::IsNameStart(text[i + 1])) {
    i += 2;
    while (i < size && !xmldoc::IsNameEnd(text[i])) ++i;
    if (i < size && text[i] == u'>') {
      OnEndTag(pos, i + 1, i);
      return i + 1;
    }
  }
  xmldoc::Tokenizer tokenizer(m_text, pos);
  Node node;
  tokenizer.Next(node);
  switch (node.kind) {
    case NodeKind::kStartTag:
      OnStartTag(node.start, node.end, node.nameEnd, node.empty);
      break;
    case NodeKind::kEndTag:
      OnEndTag(node.start, node.end, node.nameEnd);
      break;
    case NodeKind::kError:
      OnFault(node);
      break;
    default:
      break;  // comments, instructions and declarations stay in the text only
  }
  return node.end;
}

void CXmlDoc::Scanner::OnFault(const Node& node) {
  m_fault = true;
  xmldoc::NoteWriter notes(m_notes);
  notes.Begin(node.fault);
  if (node.faultType != nullptr) notes.Attr("type", node.faultType);
  notes.Attr("offset", static_cast<long long>(node.start)).End();
}

// A tag a record cannot hold is skipped like a syntax fault.
void CXmlDoc::Scanner::OnLimit(const char* note, std::size_t offset) {
  m_fault = true;
  xmldoc::NoteWriter(m_notes).Begin(note).Attr("offset", static_cast<long long>(offset)).End();
}

void CXmlDoc::Scanner::OnStartTag(std::size_t start, std::size_t end, std::size_t nameEnd, bool empty) {
  std::size_t length = end - start;
  if (length > xmldoc::kMaxStartTag) return OnLimit("start_tag_too_long", start);
  // The open elements are exactly the ancestors, so the depth is the level.
  std::size_t level = m_stack.size() + 1;
  if (level > static_cast<std::size_t>(xmldoc::kMaxLevel)) return OnLimit("nesting_too_deep", start);
  int e = m_index.Add();
  if (e == 0) return OnLimit("too_many_elements", start);
  int parent = m_stack.empty() ? 0 : m_stack.back().element;
  int& last = m_stack.empty() ? m_rootLast : m_stack.back().lastChild;
  Element& record = m_index[e];
  record.start = static_cast<std::int32_t>(start);
  record.length = static_cast<std::int32_t>(length);
  record.startTagLength = static_cast<std::uint32_t>(length);
  record.level = static_cast<std::uint16_t>(level);
  record.parent = parent;
  if (last == 0) {
    m_index[parent].firstChild = e;
    record.flags = xmldoc::kFirstSibling;
  } else {
    m_index[last].next = e;
    record.prev = last;
  }
  last = e;
  if (empty) return;
  std::size_t nameLength = nameEnd - start - 1;
  std::uint32_t hash = m_counting ? HashName(start + 1, nameLength) : 0;
  m_stack.push_back({e, 0, start + 1, nameLength, hash});
  if (m_counting) ++m_openNames[hash % kNameBuckets];
}

// Writes the first child's link to the last sibling, left open while the
// parent was being filled.
inline void CXmlDoc::Scanner::Seal(int parent, int lastChild) {
  int first = m_index[parent].firstChild;
  if (first != 0) m_index[first].prev = lastChild;
}

// Names are short: a plain loop beats a call to memcmp.
inline bool CXmlDoc::Scanner::IsTopName(std::size_t nameStart, std::size_t nameLength) const {
  if (m_stack.empty() || m_stack.back().nameLength != nameLength) return false;
  const char16_t* open = m_text.data() + m_stack.back().nameStart;
  const char16_t* name = m_text.data() + nameStart;
  for (std::size_t i = 0; i < nameLength; ++i) {
    if (open[i] != name[i]) return false;
  }
  return true;
}

void CXmlDoc::Scanner::StartCounting() {
  // Allocated on first need: well-formed text never gets here.
  if (m_openNames.size() != kNameBuckets) m_openNames.assign(kNameBuckets, 0);
  m_counting = true;
  for (Open& open : m_stack) {
    open.hash = HashName(open.nameStart, open.nameLength);
    ++m_openNames[open.hash % kNameBuckets];
  }
}

int CXmlDoc::Scanner::MatchOpen(std::size_t nameStart, std::size_t nameLength) {
  if (!m_counting) StartCounting();
  std::uint32_t hash = HashName(nameStart, nameLength);
  // The bucket count answers "no such open element" without a walk.
  if (m_openNames[hash % kNameBuckets] == 0) return -1;
  const char16_t* name = m_text.data() + nameStart;
  for (std::size_t d = m_stack.size(); d-- > 0;) {
    const Open& open = m_stack[d];
    if (open.hash == hash && open.nameLength == nameLength &&
        std::memcmp(m_text.data() + open.nameStart, name, nameLength * sizeof(char16_t)) == 0) {
      return static_cast<int>(d);
    }
  }
  return -1;
}

void CXmlDoc::Scanner::OnEndTag(std::size_t start, std::size_t end, std::size_t nameEnd) {
  std::size_t length = end - start;
  if (length > xmldoc::kMaxEndTag) return OnLimit("end_tag_too_long", start);
  std::size_t nameLength = nameEnd - start - 2;
  int depth = static_cast<int>(m_stack.size()) - 1;
  if (!IsTopName(start + 2, nameLength)) depth = MatchOpen(start + 2, nameLength);
  if (depth < 0) {
    m_fault = true;
    xmldoc::NoteWriter(m_notes)
        .Begin("lone_end_tag")
        .Attr("tagname", m_text.substr(start + 2, nameLength))
        .Attr("offset", static_cast<long long>(start))
        .End();
    return;
  }
  if (static_cast<std::size_t>(depth) + 1 < m_stack.size()) Unend(static_cast<std::size_t>(depth) + 1);
  Element& record = m_index[m_stack.back().element];
  record.length = static_cast<std::int32_t>(end) - record.start;
  record.endTagLength = static_cast<std::uint32_t>(length);
  Pop();
}

inline void CXmlDoc::Scanner::Pop() {
  const Open& top = m_stack.back();
  Seal(top.element, top.lastChild);
  if (m_counting) --m_openNames[top.hash % kNameBuckets];
  m_stack.pop_back();
}

// Every open element from fromDepth up becomes its start tag alone, and its
// children follow it as siblings. Outermost first: each one is the last
// child of the common parent when its turn comes, so every child is
// relinked once.
void CXmlDoc::Scanner::Unend(std::size_t fromDepth) {
  m_fault = true;
  int parent = fromDepth == 0 ? 0 : m_stack[fromDepth - 1].element;
  int& parentLast = fromDepth == 0 ? m_rootLast : m_stack[fromDepth - 1].lastChild;
  Seal(parent, parentLast);
  std::uint16_t childLevel = static_cast<std::uint16_t>(fromDepth + 1);
  for (std::size_t d = fromDepth; d < m_stack.size(); ++d) {
    int unended = m_stack[d].element;
    Seal(unended, m_stack[d].lastChild);
    Element& record = m_index[unended];
    record.flags |= xmldoc::kUnended;
    record.length = static_cast<std::int32_t>(record.startTagLength);
    record.endTagLength = 0;
    int child = record.firstChild;
    record.firstChild = 0;
    xmldoc::NoteWriter(m_notes)
        .Begin("unended_start_tag")
        .Attr("tagname", m_text.substr(m_stack[d].nameStart, m_stack[d].nameLength))
        .Attr("offset", record.start)
        .End();
    while (child != 0) {
      int next = m_index[child].next;
      m_index.AppendChild(parent, child);
      m_index[child].level = childLevel;
      if (m_index[child].firstChild != 0) m_levelsMoved = true;
      child = next;
    }
  }
  parentLast = m_index.LastChild(parent);
  while (m_stack.size() > fromDepth) {
    m_stack.back().lastChild = 0;  // its children have moved away
    Pop();
  }
}
