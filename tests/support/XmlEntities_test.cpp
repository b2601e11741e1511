#include "support/XmlEntities.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlEntities, NamedReferencesOfXmlAndHtml) {
  struct Case {
    const char* name;
    char16_t code;
  };
  const Case cases[] = {
      {"lt", u'<'},          {"gt", u'>'},          {"amp", u'&'},        {"quot", u'"'},
      {"apos", u'\''},       {"nbsp", 0xA0},        {"yuml", 0xFF},       {"Yuml", 0x178},
      {"fnof", 0x192},       {"Omega", 0x3A9},      {"omega", 0x3C9},     {"sigmaf", 0x3C2},
      {"thetasym", 0x3D1},   {"hellip", 0x2026},    {"euro", 0x20AC},     {"trade", 0x2122},
      {"diams", 0x2666},     {"lang", 0x2329},      {"rang", 0x232A},     {"zwnj", 0x200C},
      {"Dagger", 0x2021},    {"dagger", 0x2020},    {"DAGGER", 0x2020},   {"THORN", 0xDE},
      {"thorn", 0xFE},       {"Thorn", 0xFE},       {"there4", 0x2234},   {"sup2", 0xB2},
      {"frac34", 0xBE},      {"szlig", 0xDF},       {"OElig", 0x152},     {"oelig", 0x153},
      {"LT", u'<'},          {"unknown", 0},        {"", 0},              {"amp;", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<int>(XmlEntities::Lookup(c.name)), static_cast<int>(c.code)) << c.name;
  }
}

TEST(XmlEntities, DecodeReportsUnitsAndLength) {
  struct Case {
    const char16_t* text;  // what follows the '&'
    int units;
    std::size_t consumed;
    char16_t first;
    char16_t second;
  };
  const Case cases[] = {
      {u"amp;rest", 1, 4, u'&', 0},
      {u"#x1F600;", 2, 8, 0xD83D, 0xDE00},
      {u"#65536;", 2, 7, 0xD800, 0xDC00},
      {u"#xFFFF;", 1, 7, 0xFFFF, 0},
      {u"#x10FFFF;", 2, 9, 0xDBFF, 0xDFFF},
      {u"#x110000;", 0, 0, 0, 0},
      {u"#xDFFF;", 0, 0, 0, 0},
      {u"#0;", 0, 0, 0, 0},
      {u"notaname;", 0, 0, 0, 0},
      {u"ampamp", 0, 0, 0, 0},
      {u"am\u00E9;", 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    char16_t out[2] = {0, 0};
    std::size_t consumed = 0;
    int units = XmlEntities::Decode(c.text, consumed, out);
    EXPECT_EQ(units, c.units);
    if (units == 0) continue;
    EXPECT_EQ(consumed, c.consumed);
    EXPECT_EQ(out[0], c.first);
    if (units == 2) {
      EXPECT_EQ(out[1], c.second);
    }
  }
}

}  // namespace
