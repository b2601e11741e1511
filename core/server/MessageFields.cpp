#include "server/MessageFields.h"

#include <charconv>
#include <string>

#include "server/ServerMessages.h"
#include "support/Helpers.h"

namespace MessageFields {

namespace {

constexpr std::u16string_view kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-8\"?>";

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Length of the run of digits at `i`.
std::size_t Digits(std::u16string_view text, std::size_t i) {
  std::size_t n = 0;
  while (i + n < text.size() && IsDigit(text[i + n])) ++n;
  return n;
}

}  // namespace

void BeginRequest(CXmlDoc& doc) {
  doc.Parse(u"");
  doc.Append(Jxc::kRoot);
  doc.Enter();
}

std::u16string FinishRequest(const CXmlDoc& doc) {
  return std::u16string(kDeclaration) + doc.GetText();
}

bool EnterData(CXmlDoc& doc, std::u16string_view reply) {
  doc.Parse(reply);
  if (!doc.Find(Jxc::kRoot) || !doc.Enter() || !doc.Find(Jxc::kStatus)) return false;
  if (Helpers::ParseInt(doc.GetValue()) == 0) return false;
  return doc.Find(Jxc::kData) && doc.Enter();
}

bool EnterGoods(CXmlDoc& doc) { return doc.Find(Jxc::kGoods) && doc.Enter(); }

bool FindText(CXmlDoc& doc, std::u16string_view name, std::u16string& value) {
  if (!doc.Find(name)) return false;
  value = doc.GetValue();
  return true;
}

bool FindInt(CXmlDoc& doc, std::u16string_view name, int& value) {
  if (!doc.Find(name)) return false;
  value = Helpers::ParseInt(doc.GetValue());
  return true;
}

bool FindFloat(CXmlDoc& doc, std::u16string_view name, float& value) {
  if (!doc.Find(name)) return false;
  value = ParseFloat(doc.GetValue());
  return true;
}

float ParseFloat(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  const std::size_t begin = i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
  const std::size_t whole = Digits(text, i);
  i += whole;
  std::size_t fraction = 0;
  if (i < text.size() && text[i] == u'.') {
    fraction = Digits(text, i + 1);
    if (whole + fraction > 0) i += 1 + fraction;
  }
  if (whole + fraction == 0) return 0.0f;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) ++j;
    const std::size_t exponent = Digits(text, j);
    if (exponent > 0) i = j + exponent;
  }
  // Only ASCII is left in [begin, i); from_chars takes no "+".
  std::string ascii;
  for (std::size_t k = begin; k < i; ++k) {
    if (text[k] != u'+') ascii += static_cast<char>(text[k]);
  }
  double value = 0.0;
  std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  return static_cast<float>(value);
}

}  // namespace MessageFields

ReplyHead ReadReplyHead(std::u16string_view reply) {
  ReplyHead head;
  CXmlDoc doc(reply);
  head.hasRoot = doc.Find(Jxc::kRoot) && doc.Enter();
  if (!head.hasRoot) return head;
  head.hasStatus = doc.Find(Jxc::kStatus);
  if (head.hasStatus) head.status = Helpers::ParseInt(doc.GetValue());
  head.hasData = head.hasStatus && doc.Find(Jxc::kData);
  doc.RewindSiblings();
  head.hasInfo = MessageFields::FindText(doc, Jxc::kInfo, head.info);
  return head;
}
