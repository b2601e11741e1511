#include "store/FirstLetters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct Case {
  const char* label;
  std::u16string name;
  std::string letters;
};

void ExpectCases(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    EXPECT_EQ(MakeFirstLetters(c->name), c->letters) << "case: " << c->label;
  }
}

TEST(FirstLetters, Level2TableHasOneLetterPerPositionAndTheEstablishedBeginning) {
  const std::string_view table = FirstLettersLevel2Table();
  ASSERT_EQ(table.size(), 3008u);
  EXPECT_EQ(table.substr(0, 20), "CJWGNSPGCGNE[Y[BTYYZ");
  // No pinyin syllable starts with I, U or V.
  for (size_t i = 0; i < table.size(); ++i) {
    const char letter = table[i];
    EXPECT_TRUE((letter >= 'A' && letter <= 'Z' && letter != 'I' && letter != 'U' &&
                 letter != 'V') ||
                letter == '[')
        << "entry " << i << " is '" << letter << "'";
  }
}

TEST(FirstLetters, CommittedTableIsWhatTheGeneratorMakes) {
  const char* sourceDir = std::getenv("TILLORA_SOURCE_DIR");
  if (sourceDir == nullptr) GTEST_SKIP() << "TILLORA_SOURCE_DIR not set";
  const std::string command =
      std::string("python3 ") + sourceDir + "/scripts/gen_first_letters.py --check";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(FirstLetters, AsciiAndMixedNames) {
  static const Case cases[] = {
      {"empty", u"", ""},
      {"ascii only", u"Cola 330ml (cold)!", "Cola 330ml (cold)!"},
      {"ascii then chinese", u"Cola可乐", "ColaKL"},
      {"chinese between ascii", u"A咖啡b", "AKFb"},
      {"level 1 and level 2", u"鹦鹉", "YW"},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

// Each letter's first level-1 character (by GB2312 code) and the character
// just before it, which still belongs to the previous letter.
TEST(FirstLetters, Level1Boundaries) {
  static const Case cases[] = {
      {"B0A1", u"啊", "A"}, {"B0C4", u"澳", "A"}, {"B0C5", u"芭", "B"},
      {"B2C0", u"怖", "B"}, {"B2C1", u"擦", "C"}, {"B4ED", u"错", "C"},
      {"B4EE", u"搭", "D"}, {"B6E9", u"堕", "D"}, {"B6EA", u"蛾", "E"},
      {"B7A1", u"贰", "E"}, {"B7A2", u"发", "F"}, {"B8C0", u"咐", "F"},
      {"B8C1", u"噶", "G"}, {"B9FD", u"过", "G"}, {"B9FE", u"哈", "H"},
      {"BBF6", u"祸", "H"}, {"BBF7", u"击", "J"}, {"BFA5", u"骏", "J"},
      {"BFA6", u"喀", "K"}, {"C0AB", u"阔", "K"}, {"C0AC", u"垃", "L"},
      {"C2E7", u"络", "L"}, {"C2E8", u"妈", "M"}, {"C4C2", u"穆", "M"},
      {"C4C3", u"拿", "N"}, {"C5B5", u"诺", "N"}, {"C5B6", u"哦", "O"},
      {"C5BD", u"沤", "O"}, {"C5BE", u"啪", "P"}, {"C6D9", u"瀑", "P"},
      {"C6DA", u"期", "Q"}, {"C8BA", u"群", "Q"}, {"C8BB", u"然", "R"},
      {"C8F5", u"弱", "R"}, {"C8F6", u"撒", "S"}, {"CBF9", u"所", "S"},
      {"CBFA", u"塌", "T"}, {"CDD9", u"唾", "T"}, {"CDDA", u"挖", "W"},
      {"CEF3", u"误", "W"}, {"CEF4", u"昔", "X"}, {"D1B8", u"迅", "X"},
      {"D1B9", u"压", "Y"}, {"D4D0", u"孕", "Y"}, {"D4D1", u"匝", "Z"},
      {"D7F9 last level 1", u"座", "Z"},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

// Characters whose reading has a single initial, from both ends of level 2.
TEST(FirstLetters, Level2Characters) {
  static const Case cases[] = {
      {"D8A1 first level 2", u"亍", "C"},
      {"D8AD marked", u"丨", "["},
      {"D8AF marked", u"丿", "["},
      {"D8B0", u"匕", "B"},
      {"EBA3", u"耄", "M"},
      {"EDB2", u"聿", "Y"},
      {"F0D0", u"鹦", "Y"},
      {"F2F2", u"蝌", "K"},
      {"F3AC", u"蟋", "X"},
      {"F3AF", u"蟑", "Z"},
      {"F6BB", u"龌", "W"},
      {"F7EF", u"黠", "X"},
      {"F7F4", u"黥", "Q"},
      {"F7FA", u"鼹", "Y"},
      {"F7FE last level 2", u"齄", "Z"},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

// Whatever is not a GB2312 hanzi keeps its code page 936 bytes.
TEST(FirstLetters, OtherCharactersKeepTheirBytes) {
  static const Case cases[] = {
      {"GBK 8140, lead below A1", u"丂", "\x81\x40"},
      {"GBK AA40, trail below A1", u"狜", "\xAA\x40"},
      {"GB2312 symbol A3AC", u"茶，奶", "C\xA3\xAC" "N"},
      {"euro, one byte 80", u"€", "\x80"},
      {"not in code page 936", u"Tea한", "Tea?"},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

TEST(FirstLetters, ByteWalkOnRawCodePage936) {
  struct RawCase {
    const char* label;
    std::string bytes;
    std::string letters;
  };
  static const RawCase cases[] = {
      {"lone lead byte at the end", "AB\xB0", "AB\xB0"},
      {"lead byte before ascii", "\xB0" "A", "\xB0" "A"},
      {"lead byte A0 is not a lead", "\xA0\xB0\xA1", "\xA0" "A"},
      {"first position past level 2", "\xF8\xA1", "\xF8\xA1"},
  };
  for (const RawCase& c : cases) {
    EXPECT_EQ(MakeFirstLettersFromAnsi(c.bytes), c.letters) << "case: " << c.label;
  }
}

// Every level-2 code reads its own table entry, and level 1 gives one letter
// per character that never goes back in the alphabet.
TEST(FirstLetters, EveryGb2312HanziGivesOneLetter) {
  const std::string_view table = FirstLettersLevel2Table();
  char previous = 'A';
  for (int lead = 0xB0; lead <= 0xF7; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      if (lead == 0xD7 && trail > 0xF9) continue;  // end of level 1 unassigned
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string letters = MakeFirstLettersFromAnsi(bytes);
      ASSERT_EQ(letters.size(), 1u) << std::hex << lead << trail;
      if (lead < 0xD8) {
        EXPECT_GE(letters[0], previous) << std::hex << lead << trail;
        previous = letters[0];
      } else {
        EXPECT_EQ(letters[0], table[(lead - 0xD8) * 94 + (trail - 0xA1)])
            << std::hex << lead << trail;
      }
    }
  }
}

}  // namespace
