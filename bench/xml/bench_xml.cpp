// Parse and Find throughput of CXmlDoc, pugixml and tinyxml2 over the same
// two documents: a ~1 MB inventory reply (root `jxcapi`, a few thousand
// `ware` items of a dozen fields with Chinese names) and a 200-byte call
// envelope. Throughput counts the UTF-8 size of the document for every
// library; CXmlDoc takes the same text already in UTF-16, as the core holds it.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>
#include <tinyxml2.h>

#include <malloc.h>

#include <string>

#include "support/CXmlDoc.h"
#include "support/TextCodec.h"

namespace {

struct Document {
  std::string utf8;
  std::u16string utf16;
};

Document MakeDocument(std::string utf8) {
  Document doc;
  doc.utf16 = TextCodec::Utf8ToUtf16(utf8);
  doc.utf8 = std::move(utf8);
  return doc;
}

const char* const kNames[] = {"农夫山泉矿泉水", "康师傅红烧牛肉面", "可口可乐", "乐事薯片原味",
                              "旺仔牛奶", "统一冰红茶", "德芙巧克力", "奥利奥饼干"};

std::string Field(const char* name, const std::string& value) {
  return std::string("<") + name + ">" + value + "</" + name + ">\r\n";
}

std::string Ware(int i) {
  std::string ware = "<ware>\r\n";
  ware += Field("WareID", std::to_string(100000 + i));
  ware += Field("WareCode", "W" + std::to_string(i));
  ware += Field("WareName", kNames[i % 8] + std::string(" ") + std::to_string(i % 97) + "号");
  ware += Field("FirstLetters", "NFSQ");
  ware += Field("Spec", "550ml*24");
  ware += Field("Unit", "瓶");
  ware += Field("Price", std::to_string(i % 50) + ".50");
  ware += Field("MemberPrice", std::to_string(i % 50) + ".00");
  ware += Field("Stock", std::to_string(i * 7 % 1000));
  ware += Field("TypeID", std::to_string(i % 12));
  ware += Field("TypeName", "饮料&amp;零食");
  ware += Field("BarCode", "69" + std::to_string(10000000000LL + i));
  return ware + "</ware>\r\n";
}

const Document& Reply() {
  static const Document doc = [] {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<jxcapi>\r\n";
    text += Field("ErrCode", "0");
    for (int i = 0; text.size() < 1000000; ++i) text += Ware(i);
    text += Field("ErrString", "成功");
    return MakeDocument(text + "</jxcapi>\r\n");
  }();
  return doc;
}

const Document& Envelope() {
  static const Document doc = MakeDocument(
      "<FUNCTION>\r\n<Head>\r\n<MainID>3</MainID>\r\n<SubID>1</SubID>\r\n<Version>1.0</Version>\r\n"
      "</Head>\r\n<Param>\r\n<CafeID>1001</CafeID>\r\n<BarID>2</BarID>\r\n<Query>茶</Query>\r\n"
      "</Param>\r\n</FUNCTION>\r\n");
  return doc;
}

// ---- reads the same fields through each library ----

std::size_t ReadReply(CXmlDoc& doc) {
  std::size_t total = 0;
  if (!doc.Find(u"/jxcapi") || !doc.Enter()) return 0;
  while (doc.Find(u"ware")) {
    doc.Enter();
    if (doc.Find(u"WareName")) total += doc.GetValue().size();
    if (doc.Find(u"Price")) total += doc.GetValue().size();
    doc.Leave();
  }
  return total;
}

std::size_t ReadReply(const pugi::xml_document& doc) {
  std::size_t total = 0;
  for (pugi::xml_node ware : doc.child("jxcapi").children("ware")) {
    total += std::char_traits<char>::length(ware.child("WareName").child_value());
    total += std::char_traits<char>::length(ware.child("Price").child_value());
  }
  return total;
}

std::size_t ReadReply(const tinyxml2::XMLDocument& doc) {
  std::size_t total = 0;
  const tinyxml2::XMLElement* root = doc.FirstChildElement("jxcapi");
  if (root == nullptr) return 0;
  for (const tinyxml2::XMLElement* ware = root->FirstChildElement("ware"); ware != nullptr;
       ware = ware->NextSiblingElement("ware")) {
    const tinyxml2::XMLElement* name = ware->FirstChildElement("WareName");
    const tinyxml2::XMLElement* price = ware->FirstChildElement("Price");
    if (name != nullptr && name->GetText() != nullptr) total += std::char_traits<char>::length(name->GetText());
    if (price != nullptr && price->GetText() != nullptr) total += std::char_traits<char>::length(price->GetText());
  }
  return total;
}

std::size_t ReadEnvelope(CXmlDoc& doc) {
  std::size_t total = 0;
  for (const char16_t* path : {u"/FUNCTION/Head/MainID", u"/FUNCTION/Head/SubID", u"/FUNCTION/Head/Version"}) {
    if (doc.Find(path)) total += doc.GetValue().size();
  }
  if (doc.Find(u"/FUNCTION/Param")) total += doc.GetInner().size();
  return total;
}

std::size_t ReadEnvelope(const pugi::xml_document& doc) {
  pugi::xml_node head = doc.child("FUNCTION").child("Head");
  std::size_t total = 0;
  for (const char* name : {"MainID", "SubID", "Version"}) {
    total += std::char_traits<char>::length(head.child(name).child_value());
  }
  // The nearest equivalent of the inner markup: the children of Param.
  for (pugi::xml_node child : doc.child("FUNCTION").child("Param").children()) total += child.hash_value() & 1;
  return total;
}

std::size_t ReadEnvelope(const tinyxml2::XMLDocument& doc) {
  const tinyxml2::XMLElement* function = doc.FirstChildElement("FUNCTION");
  if (function == nullptr) return 0;
  const tinyxml2::XMLElement* head = function->FirstChildElement("Head");
  std::size_t total = 0;
  for (const char* name : {"MainID", "SubID", "Version"}) {
    const tinyxml2::XMLElement* e = head ? head->FirstChildElement(name) : nullptr;
    if (e != nullptr && e->GetText() != nullptr) total += std::char_traits<char>::length(e->GetText());
  }
  const tinyxml2::XMLElement* param = function->FirstChildElement("Param");
  for (const tinyxml2::XMLElement* c = param ? param->FirstChildElement() : nullptr; c != nullptr;
       c = c->NextSiblingElement()) {
    ++total;
  }
  return total;
}

// ---- benchmarks ----

using Getter = const Document& (*)();

void BM_CXmlDoc(benchmark::State& state, Getter getter, bool read) {
  const Document& source = getter();
  bool reply = &source == &Reply();
  CXmlDoc doc;
  for (auto _ : state) {
    bool ok = doc.Parse(source.utf16);
    benchmark::DoNotOptimize(ok);
    if (read) benchmark::DoNotOptimize(reply ? ReadReply(doc) : ReadEnvelope(doc));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.utf8.size()));
}

// A new instance per message, as most callers in the core use it: the text
// and index storage are allocated every time.
void BM_CXmlDocFresh(benchmark::State& state, Getter getter, bool read) {
  const Document& source = getter();
  bool reply = &source == &Reply();
  for (auto _ : state) {
    CXmlDoc doc(source.utf16);
    benchmark::DoNotOptimize(doc.GetText().size());
    if (read) benchmark::DoNotOptimize(reply ? ReadReply(doc) : ReadEnvelope(doc));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.utf8.size()));
}

void BM_pugixml(benchmark::State& state, Getter getter, bool read) {
  const Document& source = getter();
  bool reply = &source == &Reply();
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_buffer(source.utf8.data(), source.utf8.size());
    benchmark::DoNotOptimize(result.status);
    if (read) benchmark::DoNotOptimize(reply ? ReadReply(doc) : ReadEnvelope(doc));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.utf8.size()));
}

void BM_tinyxml2(benchmark::State& state, Getter getter, bool read) {
  const Document& source = getter();
  bool reply = &source == &Reply();
  for (auto _ : state) {
    tinyxml2::XMLDocument doc;
    tinyxml2::XMLError error = doc.Parse(source.utf8.data(), source.utf8.size());
    benchmark::DoNotOptimize(error);
    if (read) benchmark::DoNotOptimize(reply ? ReadReply(doc) : ReadEnvelope(doc));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.utf8.size()));
}

BENCHMARK_CAPTURE(BM_CXmlDoc, parse_reply, &Reply, false);
BENCHMARK_CAPTURE(BM_CXmlDocFresh, parse_reply, &Reply, false);
BENCHMARK_CAPTURE(BM_pugixml, parse_reply, &Reply, false);
BENCHMARK_CAPTURE(BM_tinyxml2, parse_reply, &Reply, false);
BENCHMARK_CAPTURE(BM_CXmlDoc, parse_find_reply, &Reply, true);
BENCHMARK_CAPTURE(BM_CXmlDocFresh, parse_find_reply, &Reply, true);
BENCHMARK_CAPTURE(BM_pugixml, parse_find_reply, &Reply, true);
BENCHMARK_CAPTURE(BM_tinyxml2, parse_find_reply, &Reply, true);
BENCHMARK_CAPTURE(BM_CXmlDoc, parse_envelope, &Envelope, false);
BENCHMARK_CAPTURE(BM_CXmlDocFresh, parse_envelope, &Envelope, false);
BENCHMARK_CAPTURE(BM_pugixml, parse_envelope, &Envelope, false);
BENCHMARK_CAPTURE(BM_tinyxml2, parse_envelope, &Envelope, false);
BENCHMARK_CAPTURE(BM_CXmlDoc, parse_find_envelope, &Envelope, true);
BENCHMARK_CAPTURE(BM_CXmlDocFresh, parse_find_envelope, &Envelope, true);
BENCHMARK_CAPTURE(BM_pugixml, parse_find_envelope, &Envelope, true);
BENCHMARK_CAPTURE(BM_tinyxml2, parse_find_envelope, &Envelope, true);

}  // namespace

int main(int argc, char** argv) {
  // Keep freed blocks in the process: every library here allocates a few
  // megabytes per document, and on a virtual machine the page faults of
  // fresh mappings would otherwise outweigh the parsing being measured.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
