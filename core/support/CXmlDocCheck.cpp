// CXmlDoc::CheckIndex: the self-check that tests and the fuzz target run
// after every operation.
#include "support/CXmlDoc.h"
#include "support/CXmlDocIndex.h"

namespace {

struct Range {
  std::int32_t begin;
  std::int32_t end;
};

}  // namespace

bool CXmlDoc::CheckIndex() const {
  if (!m_index) return m_text.empty() && m_current == 0 && m_parent == 0;
  const Index& index = *m_index;
  const std::int32_t size = static_cast<std::int32_t>(m_text.size());
  if (index[0].length != size) return false;
  auto live = [&](int e) {
    return e >= 0 && e < index.Count() && (e == 0 || (index[e].flags & xmldoc::kRemoved) == 0);
  };
  auto contentOf = [&](int e) {
    return e == 0 ? Range{0, size} : Range{index[e].ContentStart(), index[e].ContentEnd()};
  };
  auto tagsAgree = [&](int e) {
    const Element& r = index[e];
    std::int32_t stl = static_cast<std::int32_t>(r.startTagLength);
    std::int32_t etl = static_cast<std::int32_t>(r.endTagLength);
    if (stl < 3 || r.length < stl + etl || r.End() > size) return false;
    if (m_text[static_cast<std::size_t>(r.start)] != u'<' ||
        m_text[static_cast<std::size_t>(r.start + stl - 1)] != u'>') {
      return false;
    }
    if (etl == 0) return r.length == stl;
    std::u16string_view endTag = std::u16string_view(m_text).substr(static_cast<std::size_t>(r.ContentEnd()),
                                                                     static_cast<std::size_t>(etl));
    std::u16string_view name = TagName(e);
    return endTag.substr(0, 2) == u"</" && endTag.back() == u'>' && endTag.substr(2, name.size()) == name;
  };
  // Walks every parent's children in order; the visit count guards against
  // a cycle in the links.
  std::vector<int> pending{0};
  int visited = 0;
  while (!pending.empty()) {
    int parent = pending.back();
    pending.pop_back();
    Range content = contentOf(parent);
    std::int32_t previousEnd = content.begin;
    int first = index[parent].firstChild;
    int last = 0;
    for (int e = first; e != 0; e = index[e].next) {
      if (!live(e) || ++visited >= index.Count()) return false;
      const Element& r = index[e];
      if (r.parent != parent || r.level != index.Level(parent) + 1) return false;
      if (r.start < previousEnd || r.End() > content.end || !tagsAgree(e)) return false;
      if (e != first && r.prev != last) return false;
      previousEnd = r.End();
      last = e;
      pending.push_back(e);
    }
    if (first != 0 && index[first].prev != last) return false;
  }
  if (!live(m_parent) || !live(m_current) || !live(m_child)) return false;
  if (m_current != 0 && index[m_current].parent != m_parent) return false;
  return m_child == 0 || index[m_child].parent == m_current;
}
