// CXmlDoc: parsing, the three positions, reads, and the escaping helpers.
// Edits live in CXmlDocEdit.cpp, file loading in CXmlDocLoad.cpp.
#include "support/CXmlDoc.h"

#include <functional>

#include "support/CXmlDocIndex.h"
#include "support/XmlEntities.h"

using xmldoc::IsNameEnd;
using xmldoc::IsSpace;

CXmlDoc::CXmlDoc() : m_index(std::make_unique<Index>()) { m_index->Reset(8); }

CXmlDoc::CXmlDoc(std::u16string_view text) : m_index(std::make_unique<Index>()) { Parse(text); }

CXmlDoc::~CXmlDoc() = default;

// A moved-from document keeps working as an empty one: it gets a fresh index.
CXmlDoc::CXmlDoc(CXmlDoc&& other) noexcept
    : m_text(std::move(other.m_text)),
      m_notes(std::move(other.m_notes)),
      m_index(std::move(other.m_index)),
      m_parent(other.m_parent),
      m_current(other.m_current),
      m_child(other.m_child) {
  other.m_text.clear();
  other.Rewind();
}

CXmlDoc& CXmlDoc::operator=(CXmlDoc&& other) noexcept {
  if (this != &other) {
    std::swap(m_text, other.m_text);
    std::swap(m_notes, other.m_notes);
    std::swap(m_index, other.m_index);
    m_parent = other.m_parent;
    m_current = other.m_current;
    m_child = other.m_child;
    other.m_text.clear();
    other.m_notes.clear();
    if (other.m_index) other.m_index->Reset(8);
    other.Rewind();
  }
  return *this;
}

bool CXmlDoc::Parse(std::u16string_view text) {
  if (!m_index) m_index = std::make_unique<Index>();
  m_notes.clear();
  if (text.size() > xmldoc::kMaxText) {
    xmldoc::NoteWriter(m_notes)
        .Begin("document_too_large")
        .Attr("length", static_cast<long long>(text.size()))
        .End();
    text = {};
  }
  std::less_equal<const char16_t*> notAfter;
  bool aliased = notAfter(m_text.data(), text.data()) && notAfter(text.data(), m_text.data() + m_text.size());
  if (aliased) {
    std::u16string copy(text);  // a view of this document's own text
    m_text.swap(copy);
  } else {
    m_text.assign(text);  // reuses the capacity of the previous text
  }
  return Reindex();
}

// Indexes m_text from scratch, keeping the notes collected so far.
bool CXmlDoc::Reindex() {
  Rewind();
  m_index->Reset(m_text.size() / 64 + 8);
  return Scanner(m_text, *m_index, m_notes).Run();
}

void CXmlDoc::Rewind() { m_parent = m_current = m_child = 0; }

void CXmlDoc::RewindSiblings() { m_current = m_child = 0; }

std::u16string_view CXmlDoc::TagName(int e) const {
  const Element& record = (*m_index)[e];
  std::size_t begin = static_cast<std::size_t>(record.start) + 1;
  std::size_t end = begin;
  // Every indexed start tag ends in '>', which ends the name.
  while (end < m_text.size() && !IsNameEnd(m_text[end])) ++end;
  return std::u16string_view(m_text).substr(begin, end - begin);
}

// The step must equal the tag name over the name's length and end there.
bool CXmlDoc::NameIs(int e, std::u16string_view name) const {
  std::size_t pos = static_cast<std::size_t>((*m_index)[e].start) + 1;
  if (name.empty() || pos + name.size() >= m_text.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char16_t c = m_text[pos + i];
    if (c != name[i] || IsNameEnd(c)) return false;
  }
  return IsNameEnd(m_text[pos + name.size()]);
}

bool CXmlDoc::Find(std::u16string_view path) {
  if (!m_index) return false;
  if (!path.empty() && path.front() == u'/') {
    Rewind();
    path.remove_prefix(1);
  }
  m_child = 0;
  const Index& index = *m_index;
  int candidate = m_current != 0 ? index[m_current].next : index[m_parent].firstChild;
  for (;;) {
    std::size_t slash = path.find(u'/');
    std::u16string_view step = path.substr(0, slash);
    // No backtracking: the first match of each step is the only one tried.
    while (candidate != 0 && !NameIs(candidate, step)) candidate = index[candidate].next;
    if (candidate == 0) return false;
    if (slash == std::u16string_view::npos) break;
    path.remove_prefix(slash + 1);
    candidate = index[candidate].firstChild;
  }
  m_current = candidate;
  m_parent = index[candidate].parent;
  return true;
}

bool CXmlDoc::Enter() {
  if (m_current == 0) return false;
  m_parent = m_current;
  m_current = m_child;
  m_child = 0;
  return true;
}

bool CXmlDoc::Leave() {
  if (m_parent == 0) return false;
  m_child = m_current;
  m_current = m_parent;
  m_parent = (*m_index)[m_parent].parent;
  return true;
}

std::u16string CXmlDoc::CurrentName() const {
  return m_current == 0 ? std::u16string() : std::u16string(TagName(m_current));
}

std::u16string CXmlDoc::GetInner() const {
  if (m_current == 0) return {};
  const Element& record = (*m_index)[m_current];
  std::size_t begin = static_cast<std::size_t>(record.ContentStart());
  return m_text.substr(begin, static_cast<std::size_t>(record.ContentEnd()) - begin);
}

namespace {

bool IsBlank(std::u16string_view text) {
  for (char16_t c : text) {
    if (!IsSpace(c)) return false;
  }
  return true;
}

// A content with markup: text is unescaped, CDATA taken raw, comments,
// instructions and blank runs between them dropped; a child tag voids it.
std::u16string ValueOfMixedContent(std::u16string_view content) {
  std::u16string value;
  xmldoc::Tokenizer tokenizer(content);
  xmldoc::Node node;
  while (tokenizer.Next(node)) {
    std::u16string_view piece = content.substr(node.start, node.end - node.start);
    switch (node.kind) {
      case xmldoc::NodeKind::kStartTag:
        return {};
      case xmldoc::NodeKind::kText:
        if (!IsBlank(piece)) value += CXmlDoc::Unescape(piece);
        break;
      case xmldoc::NodeKind::kCData:
        value += piece.substr(9, piece.size() - 12);
        break;
      case xmldoc::NodeKind::kError:
        value += CXmlDoc::Unescape(piece);  // a stray '<' stays as written
        break;
      default:
        break;
    }
  }
  return value;
}

}  // namespace

std::u16string CXmlDoc::GetValue() const {
  if (m_current == 0) return {};
  const Element& record = (*m_index)[m_current];
  if (record.firstChild != 0) return {};
  std::size_t begin = static_cast<std::size_t>(record.ContentStart());
  std::u16string_view content =
      std::u16string_view(m_text).substr(begin, static_cast<std::size_t>(record.ContentEnd()) - begin);
  if (content.find(u'<') == std::u16string_view::npos) return Unescape(content);
  return ValueOfMixedContent(content);
}

std::u16string CXmlDoc::GetAttr(std::u16string_view name) const {
  if (m_current == 0 || name.empty()) return {};
  const Element& record = (*m_index)[m_current];
  std::u16string_view tag = std::u16string_view(m_text).substr(0, static_cast<std::size_t>(record.ContentStart()));
  std::u16string_view tagName = TagName(m_current);
  std::size_t afterName = static_cast<std::size_t>(record.start) + 1 + tagName.size();
  xmldoc::AttributeReader reader(tag, afterName);
  xmldoc::Attribute attr;
  while (reader.Next(attr)) {
    if (tag.substr(attr.nameStart, attr.nameEnd - attr.nameStart) != name) continue;
    std::size_t begin = attr.valueStart;
    std::size_t end = attr.valueEnd;
    if (attr.quote != 0 && end - begin >= 2 && tag[end - 1] == attr.quote) {
      ++begin;
      --end;
    }
    return Unescape(tag.substr(begin, end - begin));
  }
  return {};
}

std::u16string CXmlDoc::EscapeValue(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 8);
  for (char16_t c : text) {
    switch (c) {
      case u'<': out += u"&lt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'>': out += u"&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string CXmlDoc::EscapeAttr(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 8);
  for (char16_t c : text) {
    switch (c) {
      case u'<': out += u"&lt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\'': out += u"&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string CXmlDoc::Unescape(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t amp = text.find(u'&', pos);
    if (amp == std::u16string_view::npos) break;
    out.append(text.substr(pos, amp - pos));
    char16_t decoded[2];
    std::size_t consumed = 0;
    int units = XmlEntities::Decode(text.substr(amp + 1), consumed, decoded);
    if (units == 0) {
      out += u'&';  // not a reference: a literal ampersand
      pos = amp + 1;
    } else {
      out.append(decoded, static_cast<std::size_t>(units));
      pos = amp + 1 + consumed;
    }
  }
  out.append(text.substr(pos));
  return out;
}
