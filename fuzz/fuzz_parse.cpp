// libFuzzer target for CXmlDoc: parses arbitrary text, then runs a script of
// reads and edits chosen from the input and checks after every step that the
// element index still agrees with the text.
//
// Input layout: byte 0 picks the text form (even: each byte widened to one
// unit; odd: little-endian UTF-16 units, lone surrogates and zeros
// included); the rest is the text. The operation script comes from a hash of
// the whole input, so every input replays the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/CXmlDoc.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

class Script {
public:
  explicit Script(std::uint64_t seed) : m_state(seed | 1) {}
  unsigned Next(unsigned bound) {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 7;
    m_state ^= m_state << 17;
    return static_cast<unsigned>(m_state % bound);
  }

private:
  std::uint64_t m_state;
};

std::u16string Decode(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  if (size == 0) return text;
  bool wide = (data[0] & 1) != 0;
  ++data;
  --size;
  if (wide) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
  } else {
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char16_t>(data[i]);
  }
  return text;
}

bool IsPlainNameChar(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == ':' || c > 0x7F;
}

// Tag names that occur in the text (so Find has something to find), plus a
// few fixed ones, some of them not names at all: Append writes names
// unchecked, and the index must stay sound whatever they hold.
std::vector<std::u16string> NamesIn(const std::u16string& text) {
  std::vector<std::u16string> names = {u"a", u"b", u"FUNCTION", u"a b", u"a>b", u"q/r", u"&"};
  for (std::size_t i = 0; i + 1 < text.size() && names.size() < 16; ++i) {
    if (text[i] != u'<') continue;
    std::size_t end = i + 1;
    while (end < text.size() && end - i < 16 && IsPlainNameChar(text[end])) ++end;
    if (end > i + 1) names.push_back(text.substr(i + 1, end - i - 1));
  }
  return names;
}

std::uint64_t Hash(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  return hash;
}

void ReadStep(CXmlDoc& doc, unsigned op, const std::u16string& name, const std::u16string& other) {
  switch (op) {
    case 0: doc.Find(name); break;
    case 1: doc.Find(u"/" + name + u"/" + other); break;
    case 2: doc.Enter(); break;
    case 3: doc.Leave(); break;
    case 4: doc.Rewind(); break;
    case 5: doc.RewindSiblings(); break;
    case 6: {
      std::u16string inner = doc.GetInner();
      Require(inner.size() <= doc.GetText().size(), "inner within text");
      Require(doc.GetText().find(inner) != std::u16string::npos, "inner is a slice of the text");
      break;
    }
    default: {
      std::u16string value = doc.GetValue();
      std::u16string attr = doc.GetAttr(name);
      Require(value.size() <= doc.GetText().size() + 1 && attr.size() <= doc.GetText().size(),
              "reads are no longer than the text");
      break;
    }
  }
}

void EditStep(CXmlDoc& doc, unsigned op, const std::u16string& name, const std::u16string& piece) {
  static const std::u16string kValues[] = {u"1", u"a<b&c>\"'", u"&amp;", u"中文", u""};
  const std::u16string& value = kValues[op % 5];
  switch (op / 5) {
    case 0:
      if (doc.Append(name, value) && !value.empty()) Require(doc.GetValue() == value, "appended value reads back");
      break;
    case 1:
      if (doc.SetValue(value)) Require(doc.GetValue() == value, "set value reads back");
      break;
    case 2:
      if (doc.SetAttr(u"k", value)) Require(doc.GetAttr(u"k") == value, "set attribute reads back");
      break;
    case 3: doc.InsertFragment(piece); break;
    case 4: doc.AppendFragment(piece); break;
    case 5: doc.SetAttr(name, value); break;
    default: doc.Remove(); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text = Decode(data, size);
  CXmlDoc doc;
  doc.Parse(text);
  Require(doc.GetText() == text, "parse keeps the text");
  Require(doc.CheckIndex(), "index after parse");
  std::vector<std::u16string> names = NamesIn(text);
  Script script(Hash(data, size));
  for (int step = 0; step < 24; ++step) {
    const std::u16string& name = names[script.Next(static_cast<unsigned>(names.size()))];
    const std::u16string& other = names[script.Next(static_cast<unsigned>(names.size()))];
    if (script.Next(3) == 0) {
      std::size_t from = text.empty() ? 0 : script.Next(static_cast<unsigned>(text.size()));
      std::u16string piece = text.substr(from, script.Next(64));
      EditStep(doc, script.Next(35), name, piece);
    } else {
      ReadStep(doc, script.Next(8), name, other);
    }
    Require(doc.CheckIndex(), "index after a step");
  }
  CXmlDoc reparsed(doc.GetText());
  Require(reparsed.CheckIndex(), "index of the edited text parsed again");
  CXmlDoc::Unescape(text);
  return 0;
}
