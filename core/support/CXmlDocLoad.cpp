// CXmlDoc::LoadFile: reads a file as bytes, settles its encoding (mark,
// declaration, UTF-8 test) and converts it to the UTF-16 text of the document.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "support/CXmlDoc.h"
#include "support/CXmlDocIndex.h"
#include "support/TextCodec.h"
#include "support/XmlCharsets.h"

namespace {

constexpr std::size_t kHeadSize = 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void NoteFileError(std::u16string& notes, int error) {
  std::string message = std::strerror(error);
  message = message.substr(0, message.find('\n'));
  xmldoc::NoteWriter(notes).Begin("file_error").Attr("msg", message.c_str()).Attr("n", error).End();
}

// Reads to the end of the file; false (with errno set) on a read error.
bool ReadAll(std::FILE* file, std::string& bytes) {
  char buffer[65536];
  for (;;) {
    std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    bytes.append(buffer, got);
    if (got < sizeof buffer) return std::ferror(file) == 0;
  }
}

bool EqualsIgnoreCase(std::u16string_view text, std::string_view ascii) {
  if (text.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
    if (c != static_cast<unsigned char>(ascii[i])) return false;
  }
  return true;
}

std::string AsciiOf(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// The unquoted value of an attribute (name compared ignoring case) of the
// tag whose name ends at `afterName`; false when absent.
bool FindAttr(std::u16string_view tag, std::size_t afterName, std::string_view name,
              std::u16string_view& value) {
  xmldoc::AttributeReader reader(tag, afterName);
  xmldoc::Attribute attr;
  while (reader.Next(attr)) {
    if (!EqualsIgnoreCase(tag.substr(attr.nameStart, attr.nameEnd - attr.nameStart), name)) continue;
    std::size_t begin = attr.valueStart;
    std::size_t end = attr.valueEnd;
    if (attr.quote != 0 && end > begin) {
      ++begin;
      if (end > begin && tag[end - 1] == attr.quote) --end;
    }
    value = tag.substr(begin, end - begin);
    return true;
  }
  return false;
}

// The value after "charset" "=" in a Content-Type text.
std::string CharsetOfContentType(std::u16string_view content) {
  for (std::size_t i = 0; i + 7 <= content.size(); ++i) {
    if (!EqualsIgnoreCase(content.substr(i, 7), "charset")) continue;
    std::size_t p = i + 7;
    while (p < content.size() && xmldoc::IsSpace(content[p])) ++p;
    if (p >= content.size() || content[p] != u'=') continue;
    ++p;
    while (p < content.size() && (xmldoc::IsSpace(content[p]) || content[p] == u'"' || content[p] == u'\'')) ++p;
    std::size_t end = p;
    while (end < content.size() && content[end] != u';' && content[end] != u'"' &&
           content[end] != u'\'' && !xmldoc::IsSpace(content[end])) {
      ++end;
    }
    return AsciiOf(content.substr(p, end - p));
  }
  return {};
}

std::string XmlDeclarationEncoding(std::u16string_view head) {
  if (head.substr(0, 5) != u"<?xml" || head.size() < 6 || !xmldoc::IsSpace(head[5])) return {};
  std::size_t end = head.find(u"?>");
  std::u16string_view declaration = head.substr(0, end == std::u16string_view::npos ? head.size() : end);
  std::u16string_view value;
  return FindAttr(declaration, 5, "encoding", value) ? AsciiOf(value) : std::string();
}

// The charset of `<meta http-equiv="Content-Type" content="...; charset=X">`
// in the head of an HTML document.
std::string HtmlMetaCharset(std::u16string_view head) {
  xmldoc::Tokenizer tokenizer(head);
  xmldoc::Node node;
  bool inHtml = false;
  while (tokenizer.Next(node)) {
    std::u16string_view name = head.substr(node.nameStart, node.nameEnd - node.nameStart);
    if (node.kind == xmldoc::NodeKind::kEndTag && EqualsIgnoreCase(name, "head")) break;
    if (node.kind != xmldoc::NodeKind::kStartTag) continue;
    if (!inHtml) {
      if (!EqualsIgnoreCase(name, "html")) break;  // the first element must be html
      inHtml = true;
      continue;
    }
    if (!EqualsIgnoreCase(name, "meta")) continue;
    std::u16string_view tag = head.substr(0, node.end);
    std::u16string_view equiv;
    std::u16string_view content;
    if (FindAttr(tag, node.nameEnd, "http-equiv", equiv) && EqualsIgnoreCase(equiv, "content-type") &&
        FindAttr(tag, node.nameEnd, "content", content)) {
      return CharsetOfContentType(content);
    }
  }
  return {};
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    char32_t cp = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      unsigned char c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::u16string Utf16Units(std::string_view bytes, bool bigEndian, std::u16string& notes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  std::size_t nulls = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
    unsigned hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
    char16_t unit = static_cast<char16_t>(lo | (hi << 8));
    if (unit == 0) {
      ++nulls;
    } else {
      units += unit;
    }
  }
  if (bigEndian) xmldoc::NoteWriter(notes).Begin("endian_swap").End();
  if (nulls != 0) xmldoc::NoteWriter(notes).Begin("nulls_removed").Attr("count", static_cast<long long>(nulls)).End();
  return units;
}

void RemoveZeroBytes(std::string& bytes, std::u16string& notes) {
  std::size_t before = bytes.size();
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
  if (bytes.size() != before) {
    xmldoc::NoteWriter(notes).Begin("nulls_removed").Attr("count", static_cast<long long>(before - bytes.size())).End();
  }
}

std::u16string Convert(const std::string& bytes, int codePage, std::u16string& notes) {
  std::u16string text;
  std::string iconvName = XmlCharsets::IconvName(codePage);
  if (codePage == XmlCharsets::kUtf8) {
    text = TextCodec::Utf8ToUtf16(bytes);
  } else if (!TextCodec::DecodeWith(iconvName.c_str(), bytes, text)) {
    iconvName = XmlCharsets::IconvName(XmlCharsets::kAnsiCodePage);
    text = TextCodec::AnsiToUtf16(bytes);
  }
  xmldoc::NoteWriter(notes)
      .Begin("converted_to")
      .Attr("type", iconvName.c_str())
      .Attr("encoding", "UTF-16")
      .Attr("count", static_cast<long long>(text.size()))
      .End();
  return text;
}

// The code page named by the first bytes: a byte-order mark (then `skip` is
// its length), a declaration, or '<' for UTF-8; 0 when nothing tells.
int DetectEncoding(const std::string& head, std::size_t& skip, std::u16string& notes) {
  struct Mark {
    std::string_view bytes;
    int codePage;
    const char* name;
  };
  static constexpr Mark kMarks[] = {{"\xEF\xBB\xBF", XmlCharsets::kUtf8, "UTF-8"},
                                    {"\xFF\xFE", XmlCharsets::kUtf16Le, "UTF-16LE"},
                                    {"\xFE\xFF", XmlCharsets::kUtf16Be, "UTF-16BE"}};
  skip = 0;
  for (const Mark& mark : kMarks) {
    if (std::string_view(head).substr(0, mark.bytes.size()) == mark.bytes) {
      skip = mark.bytes.size();
      xmldoc::NoteWriter(notes).Begin("bom").Attr("encoding", mark.name).End();
      return mark.codePage;
    }
  }
  std::u16string decoded = TextCodec::Utf8ToUtf16(head);
  std::string declared = XmlDeclarationEncoding(decoded);
  if (declared.empty()) declared = HtmlMetaCharset(decoded);
  if (!declared.empty()) {
    int codePage = XmlCharsets::CodePageOf(declared);
    // The declaration was read as 8-bit text, so the file is not 16- or
    // 32-bit whatever it says; the UTF-8 test decides instead.
    bool wide = codePage == XmlCharsets::kUtf16Le || codePage == XmlCharsets::kUtf16Be ||
                codePage == 12000 || codePage == 12001;
    return wide ? 0 : codePage;
  }
  return (!head.empty() && head[0] == '<') ? XmlCharsets::kUtf8 : 0;
}

}  // namespace

bool CXmlDoc::ReadFile(const std::string& path, std::u16string& text) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    NoteFileError(m_notes, errno);
    return false;
  }
  std::string bytes;
  if (!ReadAll(file.get(), bytes)) {
    NoteFileError(m_notes, errno);
    return false;
  }
  if (std::fclose(file.release()) != 0) {
    NoteFileError(m_notes, errno);
    return false;
  }
  xmldoc::NoteWriter(m_notes).Begin("read").Attr("length", static_cast<long long>(bytes.size())).End();
  std::size_t skip = 0;
  int codePage = DetectEncoding(bytes.substr(0, kHeadSize), skip, m_notes);
  bytes.erase(0, skip);
  if (codePage == XmlCharsets::kUtf16Le || codePage == XmlCharsets::kUtf16Be) {
    text = Utf16Units(bytes, codePage == XmlCharsets::kUtf16Be, m_notes);
    return true;
  }
  RemoveZeroBytes(bytes, m_notes);
  if (codePage == 0) {
    codePage = IsValidUtf8(bytes) ? XmlCharsets::kUtf8 : XmlCharsets::kAnsiCodePage;
    xmldoc::NoteWriter(m_notes)
        .Begin("utf8_detection")
        .Attr("encoding", codePage == XmlCharsets::kUtf8 ? "UTF-8" : "ANSI")
        .End();
  }
  text = Convert(bytes, codePage, m_notes);
  return true;
}

bool CXmlDoc::LoadFile(const std::string& path) {
  if (!m_index) m_index = std::make_unique<Index>();
  m_notes.clear();
  std::u16string text;
  bool read = ReadFile(path, text);
  if (text.size() > xmldoc::kMaxText) {
    xmldoc::NoteWriter(m_notes).Begin("document_too_large").Attr("length", static_cast<long long>(text.size())).End();
    text.clear();
    read = false;
  }
  m_text.swap(text);
  bool wellFormed = Reindex();
  return read && wellFormed;
}
