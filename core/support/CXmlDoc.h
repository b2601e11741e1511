// CXmlDoc: the in-memory XML document every XML text of the core goes through.
// It keeps the document as one UTF-16 text plus an index of element positions
// (no node tree), walked with three positions: parent, current and child.
// An instance has no lock: one thread at a time, each thread its own instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CXmlDoc {
public:
  CXmlDoc();
  explicit CXmlDoc(std::u16string_view text);
  ~CXmlDoc();
  CXmlDoc(const CXmlDoc&) = delete;
  CXmlDoc& operator=(const CXmlDoc&) = delete;
  CXmlDoc(CXmlDoc&&) noexcept;
  CXmlDoc& operator=(CXmlDoc&&) noexcept;

  // Replaces the document; false when it is not well formed (it is still
  // indexed as far as possible). An empty text gives an empty document.
  bool Parse(std::u16string_view text);
  // Reads and converts a file, then as Parse; false if reading failed or the
  // document is not well formed.
  bool LoadFile(const std::string& path);

  const std::u16string& GetText() const { return m_text; }
  const std::u16string& GetNotes() const { return m_notes; }

  void Rewind();
  void RewindSiblings();
  // A name, or an absolute path such as "/FUNCTION/Head/MainID".
  bool Find(std::u16string_view nameOrPath);
  bool Enter();
  bool Leave();

  // Empty when there is no current element, it is empty or has children.
  std::u16string GetValue() const;
  bool SetValue(std::u16string_view value);
  bool SetValue(int value);
  // Empty when absent.
  std::u16string GetAttr(std::u16string_view name) const;
  bool SetAttr(std::u16string_view name, std::u16string_view value);
  bool SetAttr(std::u16string_view name, int value);

  bool Append(std::u16string_view name, std::u16string_view value = {});
  bool Append(std::u16string_view name, int value);
  bool AppendFragment(std::u16string_view fragment);
  bool InsertFragment(std::u16string_view fragment);
  // Raw markup between the current element's tags, not unescaped.
  std::u16string GetInner() const;
  bool Remove();

  // Helpers shared by the writers of XML text.
  static std::u16string EscapeValue(std::u16string_view text);
  static std::u16string EscapeAttr(std::u16string_view text);
  static std::u16string Unescape(std::u16string_view text);

  // For tests and diagnostics: the positions as element numbers (0 = none).
  int ParentPos() const { return m_parent; }
  int CurrentPos() const { return m_current; }
  int ChildPos() const { return m_child; }
  // Tag name of the current element, empty when none.
  std::u16string CurrentName() const;
  // Verifies that the index agrees with the text (tags where records say,
  // nesting, sibling order and links, levels, positions); false on the first
  // disagreement. Linear in the number of elements.
  bool CheckIndex() const;

private:
  struct Element;
  class Index;
  class Scanner;
  struct Place;

  std::u16string_view TagName(int e) const;
  bool NameIs(int e, std::u16string_view name) const;
  // Replaces part of the text; false when the result would outgrow the
  // 32-bit offsets of the index.
  bool Splice(std::size_t pos, std::size_t removed, std::u16string_view insert);
  Place Locate(bool before) const;
  bool SpliceAtPlace(Place& place, std::u16string_view markup);
  void LinkAtPlace(const Place& place, int e);
  int Graft(const Index& temp, const Place& place, std::int32_t shift, int baseLevel);
  bool Reindex();
  bool AddFragment(std::u16string_view fragment, bool before);
  bool ReadFile(const std::string& path, std::u16string& text);

  std::u16string m_text;
  std::u16string m_notes;
  std::unique_ptr<Index> m_index;
  int m_parent = 0;
  int m_current = 0;
  int m_child = 0;
};
