// CXmlDoc edits: every edit splices the one text and then moves the starts
// of the elements after it and the lengths of the elements around it.
#include <string>
#include <vector>

#include "support/CXmlDoc.h"
#include "support/CXmlDocIndex.h"

using xmldoc::IsSpace;

namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";

std::u16string IntText(int value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

// Where new markup goes and how it joins the sibling list.
struct CXmlDoc::Place {
  std::size_t pos = 0;
  int parent = 0;
  int after = 0;         // link after this sibling,
  int before = 0;        // or before this one, or else as the last child
  bool rewrite = false;  // the parent has no content yet: give it an end tag
  std::size_t markupPos = 0;
};

bool CXmlDoc::Splice(std::size_t pos, std::size_t removed, std::u16string_view insert) {
  std::size_t length = m_text.size() - removed + insert.size();
  if (length > xmldoc::kMaxText) return false;
  if (length > m_text.capacity()) m_text.reserve(length + length / 2 + 128);
  m_text.replace(pos, removed, insert);
  return true;
}

CXmlDoc::Place CXmlDoc::Locate(bool before) const {
  const Index& index = *m_index;
  Place place;
  place.parent = m_parent;
  if (m_current != 0) {
    const Element& current = index[m_current];
    if (before) {
      place.pos = static_cast<std::size_t>(current.start);
      place.before = m_current;
      return place;
    }
    // After the line break that follows the current element, if a tag (or
    // the end of the text) comes next; else right after the element.
    std::size_t end = static_cast<std::size_t>(current.End());
    std::size_t next = end;
    while (next < m_text.size() && IsSpace(m_text[next])) ++next;
    place.pos = (next == m_text.size() || m_text[next] == u'<') ? next : end;
    place.after = m_current;
    return place;
  }
  int first = index[m_parent].firstChild;
  if (before && first != 0) {
    place.pos = static_cast<std::size_t>(index[first].start);
    place.before = first;
    return place;
  }
  if (m_parent == 0) {
    place.pos = m_text.size();
    return place;
  }
  const Element& parent = index[m_parent];
  place.rewrite = parent.length == static_cast<std::int32_t>(parent.startTagLength);
  place.pos = static_cast<std::size_t>(place.rewrite ? parent.ContentStart() : parent.ContentEnd());
  return place;
}

bool CXmlDoc::SpliceAtPlace(Place& place, std::u16string_view markup) {
  Index& index = *m_index;
  if (!place.rewrite) {
    if (!Splice(place.pos, 0, markup)) return false;
    place.markupPos = place.pos;
    int from = place.after != 0 ? index[place.after].next : place.before;
    index.ShiftFollowing(place.parent, from, static_cast<int>(markup.size()));
    return true;
  }
  // `<p/>` becomes `<p>` CR LF markup `</p>`; an unended `<p>` gets its end tag.
  const Element& parent = index[place.parent];
  std::size_t tagEnd = static_cast<std::size_t>(parent.ContentStart());
  bool slash = (parent.flags & xmldoc::kUnended) == 0 && m_text[tagEnd - 2] == u'/';
  std::u16string closing = u"</" + std::u16string(TagName(place.parent)) + u">";
  if (closing.size() > xmldoc::kMaxEndTag) return false;
  std::u16string inserted(slash ? u">" : u"");
  inserted.append(kLineEnd).append(markup).append(closing);
  std::size_t removed = slash ? 2 : 0;
  std::size_t at = tagEnd - removed;
  if (!Splice(at, removed, inserted)) return false;
  place.markupPos = at + (slash ? 1 : 0) + kLineEnd.size();
  index.ShiftFollowing(place.parent, 0, static_cast<int>(inserted.size() - removed));
  Element& rewritten = index[place.parent];
  if (slash) rewritten.startTagLength = rewritten.startTagLength - 1;
  rewritten.endTagLength = static_cast<std::uint32_t>(closing.size());
  rewritten.flags &= static_cast<std::uint16_t>(~xmldoc::kUnended);
  return true;
}

void CXmlDoc::LinkAtPlace(const Place& place, int e) {
  if (place.after != 0) {
    m_index->InsertAfter(place.after, e);
  } else if (place.before != 0) {
    m_index->InsertBefore(place.before, e);
  } else {
    m_index->AppendChild(place.parent, e);
  }
}

bool CXmlDoc::Append(std::u16string_view name, std::u16string_view value) {
  if (!m_index) Parse({});
  if (name.empty()) return false;
  std::u16string markup = u"<" + std::u16string(name);
  std::size_t startTag = markup.size() + 1;
  std::size_t endTag = 0;
  if (value.empty()) {
    markup += u"/>";
  } else {
    markup += u'>';
    markup += EscapeValue(value);
    endTag = name.size() + 3;
    markup.append(u"</").append(name).append(u">");
  }
  Place place = Locate(false);
  if (startTag > xmldoc::kMaxStartTag || endTag > xmldoc::kMaxEndTag ||
      m_index->Level(place.parent) >= xmldoc::kMaxLevel) {
    return false;
  }
  std::size_t length = markup.size();
  markup += kLineEnd;
  int e = m_index->Add();
  if (e == 0) return false;
  if (!SpliceAtPlace(place, markup)) {
    m_index->FreeSubtree(e);
    return false;
  }
  Element& record = (*m_index)[e];
  record.start = static_cast<std::int32_t>(place.markupPos);
  record.length = static_cast<std::int32_t>(length);
  record.startTagLength = static_cast<std::uint32_t>(value.empty() ? length : startTag);
  record.endTagLength = static_cast<std::uint32_t>(endTag);
  record.level = static_cast<std::uint16_t>(m_index->Level(place.parent) + 1);
  LinkAtPlace(place, e);
  m_current = e;
  m_child = 0;
  return true;
}

bool CXmlDoc::Append(std::u16string_view name, int value) { return Append(name, IntText(value)); }

bool CXmlDoc::AppendFragment(std::u16string_view fragment) { return AddFragment(fragment, false); }

bool CXmlDoc::InsertFragment(std::u16string_view fragment) { return AddFragment(fragment, true); }

bool CXmlDoc::AddFragment(std::u16string_view fragment, bool before) {
  if (!m_index) Parse({});
  if (fragment.empty() || fragment.size() > xmldoc::kMaxText) return false;
  Index temp;
  temp.Reset(fragment.size() / 64 + 8);
  std::u16string notes;
  Scanner scanner(fragment, temp, notes);
  bool wellFormed = scanner.Run();
  int top = scanner.TopLevelCount();
  // Sound elements go in from the first '<' to the last '>' with a line
  // break; anything ill-formed goes in exactly as given.
  bool sound = !scanner.Faulty() && top > 0;
  std::size_t begin = sound ? static_cast<std::size_t>(temp[temp[0].firstChild].start) : 0;
  std::size_t end = sound ? static_cast<std::size_t>(temp[temp.LastChild(0)].End()) : fragment.size();
  std::u16string markup(fragment.substr(begin, end - begin));
  if (sound) markup += kLineEnd;

  Place place = Locate(before);
  int baseLevel = m_index->Level(place.parent);
  for (int i = 1; i < temp.Count(); ++i) {
    if (temp[i].level + baseLevel > xmldoc::kMaxLevel) return false;
  }
  if (!SpliceAtPlace(place, markup)) return false;
  int first = Graft(temp, place, static_cast<std::int32_t>(place.markupPos - begin), baseLevel);
  if (first != 0) {
    m_current = first;
    m_child = 0;
  }
  return wellFormed;
}

// Copies the records of a fragment's index into the document's, renumbered,
// moved to where the fragment's text landed; returns the first top-level one.
int CXmlDoc::Graft(const Index& temp, const Place& place, std::int32_t shift, int baseLevel) {
  Index& index = *m_index;
  std::vector<int> number(static_cast<std::size_t>(temp.Count()), 0);
  for (int i = 1; i < temp.Count(); ++i) number[static_cast<std::size_t>(i)] = index.Add();
  auto renumber = [&](int i) { return number[static_cast<std::size_t>(i)]; };
  for (int i = 1; i < temp.Count(); ++i) {
    if (renumber(i) == 0) continue;
    const Element& from = temp[i];
    Element& to = index[renumber(i)];
    to = from;
    to.start = from.start + shift;
    to.level = static_cast<std::uint16_t>(from.level + baseLevel);
    to.firstChild = renumber(from.firstChild);
    to.parent = renumber(from.parent);
    to.next = renumber(from.next);
    to.prev = renumber(from.prev);
  }
  Place link = place;
  for (int t = temp[0].firstChild; t != 0; t = temp[t].next) {
    int e = renumber(t);
    if (e == 0) continue;
    LinkAtPlace(link, e);
    if (link.after != 0) link.after = e;  // keep the fragment's order
  }
  return renumber(temp[0].firstChild);
}

bool CXmlDoc::Remove() {
  if (m_current == 0) return false;
  Index& index = *m_index;
  int e = m_current;
  const Element& record = index[e];
  std::size_t begin = static_cast<std::size_t>(record.start);
  std::size_t end = static_cast<std::size_t>(record.End());
  while (end < m_text.size() && IsSpace(m_text[end])) ++end;
  int previous = index.PrevSibling(e);
  int parent = record.parent;
  int next = record.next;
  Splice(begin, end - begin, {});
  index.Unlink(e);
  index.FreeSubtree(e);
  index.ShiftFollowing(parent, next, -static_cast<int>(end - begin));
  m_current = previous;
  m_child = 0;
  return true;
}

bool CXmlDoc::SetValue(std::u16string_view value) {
  if (m_current == 0) return false;
  Index& index = *m_index;
  const Element& record = index[m_current];
  if (record.firstChild != 0) return false;
  std::u16string escaped = EscapeValue(value);
  std::size_t contentStart = static_cast<std::size_t>(record.ContentStart());
  int delta = 0;
  if (record.length != static_cast<std::int32_t>(record.startTagLength)) {
    std::size_t old = static_cast<std::size_t>(record.ContentEnd()) - contentStart;
    if (!Splice(contentStart, old, escaped)) return false;
    delta = static_cast<int>(escaped.size()) - static_cast<int>(old);
  } else {
    if (escaped.empty()) return true;
    // `<a/>` becomes `<a>value</a>`; an unended `<a>` gets its end tag.
    bool slash = (record.flags & xmldoc::kUnended) == 0 && m_text[contentStart - 2] == u'/';
    std::u16string closing = u"</" + std::u16string(TagName(m_current)) + u">";
    if (closing.size() > xmldoc::kMaxEndTag) return false;
    std::u16string inserted = (slash ? u">" : u"") + escaped + closing;
    std::size_t removed = slash ? 2 : 0;
    if (!Splice(contentStart - removed, removed, inserted)) return false;
    delta = static_cast<int>(inserted.size() - removed);
    Element& changed = index[m_current];
    if (slash) changed.startTagLength = changed.startTagLength - 1;
    changed.endTagLength = static_cast<std::uint32_t>(closing.size());
    changed.flags &= static_cast<std::uint16_t>(~xmldoc::kUnended);
  }
  Element& changed = index[m_current];
  changed.length += delta;
  index.ShiftFollowing(changed.parent, changed.next, delta);
  return true;
}

bool CXmlDoc::SetValue(int value) { return SetValue(IntText(value)); }

bool CXmlDoc::SetAttr(std::u16string_view name, std::u16string_view value) {
  if (m_current == 0 || name.empty()) return false;
  Index& index = *m_index;
  const Element& record = index[m_current];
  std::u16string_view tag = std::u16string_view(m_text).substr(0, static_cast<std::size_t>(record.ContentStart()));
  std::size_t insertAt = static_cast<std::size_t>(record.start) + 1 + TagName(m_current).size();
  xmldoc::AttributeReader reader(tag, insertAt);
  xmldoc::Attribute attr;
  std::u16string quoted = u"\"" + EscapeAttr(value) + u"\"";
  std::size_t removed = 0;
  std::u16string inserted;
  bool found = false;
  bool bareEquals = false;  // the last attribute is `name=` with nothing after
  while (!found && reader.Next(attr)) {
    found = tag.substr(attr.nameStart, attr.nameEnd - attr.nameStart) == name;
    insertAt = attr.valueEnd;
    bareEquals = attr.hasValue && attr.quote == 0 && attr.valueStart == attr.valueEnd;
  }
  if (found && attr.hasValue) {
    insertAt = attr.valueStart;
    removed = attr.valueEnd - attr.valueStart;
    inserted = quoted;
  } else if (found) {
    inserted = u"=" + quoted;
  } else if (bareEquals) {
    // After `b=` a new attribute would read as b's value: put it before b.
    insertAt = attr.nameStart;
    inserted = std::u16string(name) + u"=" + quoted + u" ";
  } else {
    inserted = u" " + std::u16string(name) + u"=" + quoted;
  }
  int delta = static_cast<int>(inserted.size()) - static_cast<int>(removed);
  if (record.startTagLength + static_cast<std::size_t>(std::max(delta, 0)) > xmldoc::kMaxStartTag) return false;
  if (!Splice(insertAt, removed, inserted)) return false;
  Element& changed = index[m_current];
  changed.startTagLength = static_cast<std::uint32_t>(static_cast<int>(changed.startTagLength) + delta);
  changed.length += delta;
  for (int c = changed.firstChild; c != 0; c = index[c].next) index.ShiftSubtree(c, delta);
  index.ShiftFollowing(changed.parent, changed.next, delta);
  return true;
}

bool CXmlDoc::SetAttr(std::u16string_view name, int value) { return SetAttr(name, IntText(value)); }
