// The element index of CXmlDoc: segmented record storage, sibling links,
// position shifts after edits; and the note writer.
#include <algorithm>
#include <string>

#include "support/CXmlDocIndex.h"

namespace {

// Calls visit(e) for root and every element below it, parents first.
template <class Index, class Visit>
void ForSubtree(Index& index, int root, Visit visit) {
  int e = root;
  for (;;) {
    visit(e);
    if (index[e].firstChild != 0) {
      e = index[e].firstChild;
      continue;
    }
    while (e != root && index[e].next == 0) e = index[e].parent;
    if (e == root) return;
    e = index[e].next;
  }
}

}  // namespace

void CXmlDoc::Index::Reset(std::size_t reserve) {
  m_free.clear();
  if (m_capacity < reserve || m_capacity == 0) Grow(std::max<std::size_t>(reserve, 8));
  (*this)[0] = Element{};
  m_count = 1;
}

void CXmlDoc::Index::Grow(std::size_t capacity) {
  constexpr std::size_t kSize = kSegmentSize;
  while (m_capacity < capacity) {
    std::size_t base = m_capacity / kSize * kSize;
    std::size_t used = m_capacity - base;
    std::size_t size = std::min(kSize, capacity - base);
    auto segment = std::make_unique<Element[]>(size);
    if (used != 0) {
      // Only the last, partial segment is ever reallocated.
      std::copy(m_segments.back().get(), m_segments.back().get() + used, segment.get());
      m_segments.back() = std::move(segment);
    } else {
      m_segments.push_back(std::move(segment));
    }
    m_capacity = base + size;
  }
}

int CXmlDoc::Index::AddSlow() {
  if (!m_free.empty()) {
    int e = m_free.back();
    m_free.pop_back();
    (*this)[e] = Element{};
    return e;
  }
  constexpr int kMaxCount = 0x7FFFFFFF;
  if (m_count == kMaxCount) return 0;
  if (static_cast<std::size_t>(m_count) >= m_capacity) {
    std::size_t grown = static_cast<std::size_t>(m_count) + static_cast<std::size_t>(m_count) / 2;
    Grow(std::min<std::size_t>(std::max<std::size_t>(grown, 8), kMaxCount));
  }
  (*this)[m_count] = Element{};
  return m_count++;
}

void CXmlDoc::Index::FreeSubtree(int root) {
  ForSubtree(*this, root, [&](int e) {
    (*this)[e].flags |= xmldoc::kRemoved;
    m_free.push_back(e);
  });
  // Unlinked roots keep no stale links into the tree.
  Element& record = (*this)[root];
  record.parent = record.next = record.prev = 0;
}

bool CXmlDoc::Index::IsFirst(int e) const { return (*this)[(*this)[e].parent].firstChild == e; }

int CXmlDoc::Index::LastChild(int parent) const {
  int first = (*this)[parent].firstChild;
  return first == 0 ? 0 : (*this)[first].prev;
}

int CXmlDoc::Index::PrevSibling(int e) const { return IsFirst(e) ? 0 : (*this)[e].prev; }

void CXmlDoc::Index::AppendChild(int parent, int e) {
  Element& record = (*this)[e];
  record.parent = parent;
  record.next = 0;
  int first = (*this)[parent].firstChild;
  if (first == 0) {
    (*this)[parent].firstChild = e;
    record.prev = e;
    record.flags |= xmldoc::kFirstSibling;
    return;
  }
  int last = (*this)[first].prev;
  (*this)[last].next = e;
  record.prev = last;
  record.flags &= static_cast<std::uint16_t>(~xmldoc::kFirstSibling);
  (*this)[first].prev = e;
}

void CXmlDoc::Index::InsertAfter(int anchor, int e) {
  Element& record = (*this)[e];
  int parent = (*this)[anchor].parent;
  int next = (*this)[anchor].next;
  record.parent = parent;
  record.flags &= static_cast<std::uint16_t>(~xmldoc::kFirstSibling);
  record.prev = anchor;
  record.next = next;
  (*this)[anchor].next = e;
  if (next != 0) {
    (*this)[next].prev = e;
  } else {
    (*this)[(*this)[parent].firstChild].prev = e;  // e is the new last sibling
  }
}

void CXmlDoc::Index::InsertBefore(int anchor, int e) {
  Element& record = (*this)[e];
  int parent = (*this)[anchor].parent;
  record.parent = parent;
  record.next = anchor;
  record.prev = (*this)[anchor].prev;
  if (IsFirst(anchor)) {
    (*this)[parent].firstChild = e;
    record.flags |= xmldoc::kFirstSibling;
    (*this)[anchor].flags &= static_cast<std::uint16_t>(~xmldoc::kFirstSibling);
  } else {
    record.flags &= static_cast<std::uint16_t>(~xmldoc::kFirstSibling);
    (*this)[record.prev].next = e;
  }
  (*this)[anchor].prev = e;
}

void CXmlDoc::Index::Unlink(int e) {
  Element& record = (*this)[e];
  int parent = record.parent;
  int first = (*this)[parent].firstChild;
  int next = record.next;
  if (first == e) {
    (*this)[parent].firstChild = next;
    if (next != 0) {
      (*this)[next].prev = record.prev;
      (*this)[next].flags |= xmldoc::kFirstSibling;
    }
  } else {
    (*this)[record.prev].next = next;
    if (next != 0) {
      (*this)[next].prev = record.prev;
    } else {
      (*this)[first].prev = record.prev;
    }
  }
  record.next = record.prev = 0;
}

void CXmlDoc::Index::ShiftSubtree(int e, int delta) {
  ForSubtree(*this, e, [&](int x) { (*this)[x].start += delta; });
}

// Only the elements after the edit are visited: appending at the end of a
// document touches nothing but the chain of enclosing elements.
void CXmlDoc::Index::ShiftFollowing(int parent, int from, int delta) {
  for (int s = from; s != 0; s = (*this)[s].next) ShiftSubtree(s, delta);
  for (int a = parent; a != 0; a = (*this)[a].parent) {
    (*this)[a].length += delta;
    for (int s = (*this)[a].next; s != 0; s = (*this)[s].next) ShiftSubtree(s, delta);
  }
  (*this)[0].length += delta;
}

void CXmlDoc::Index::FixLevels() {
  ForSubtree(*this, 0, [&](int e) {
    if (e != 0) (*this)[e].level = static_cast<std::uint16_t>((*this)[(*this)[e].parent].level + 1);
  });
}

namespace xmldoc {

namespace {
constexpr std::size_t kNotesLimit = 999;
}

NoteWriter& NoteWriter::Begin(const char* name) {
  m_open = m_notes.size() <= kNotesLimit;
  if (!m_open) return *this;
  m_notes += u'<';
  for (const char* p = name; *p != '\0'; ++p) m_notes += static_cast<char16_t>(*p);
  return *this;
}

NoteWriter& NoteWriter::Attr(const char* name, std::u16string_view value) {
  if (!m_open) return *this;
  m_notes += u' ';
  for (const char* p = name; *p != '\0'; ++p) m_notes += static_cast<char16_t>(*p);
  m_notes += u"=\"";
  m_notes += CXmlDoc::EscapeAttr(value);
  m_notes += u'"';
  return *this;
}

NoteWriter& NoteWriter::Attr(const char* name, const char* value) {
  std::u16string text;
  for (const char* p = value; *p != '\0'; ++p) text += static_cast<char16_t>(static_cast<unsigned char>(*p));
  return Attr(name, text);
}

NoteWriter& NoteWriter::Attr(const char* name, long long value) {
  return Attr(name, std::to_string(value).c_str());
}

void NoteWriter::End() {
  if (m_open) m_notes += u"/>";
  m_open = false;
}

}  // namespace xmldoc
