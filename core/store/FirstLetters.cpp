#include "store/FirstLetters.h"

#include <array>

#include "support/TextCodec.h"

namespace {

// Level 2 is ordered by radical, not by sound, hence a letter per position;
// scripts/gen_first_letters.py makes the table from the Unihan readings.
constexpr char kLevel2Letters[] =
#include "store/FirstLettersTable.inc"
    ;
constexpr int kLevel2Size = 32 * 94;
static_assert(sizeof(kLevel2Letters) - 1 == kLevel2Size,
              "FirstLettersTable.inc must hold one letter per level-2 position");

struct Threshold {
  int firstCode;  // area-position code of the letter's first character
  char letter;
};

// Level 1 is ordered by pinyin, so each letter owns one range of codes.
// No syllable starts with I, U or V.
constexpr std::array<Threshold, 23> kLevel1Thresholds = {{
    {1601, 'A'}, {1637, 'B'}, {1833, 'C'}, {2078, 'D'}, {2274, 'E'}, {2302, 'F'},
    {2433, 'G'}, {2594, 'H'}, {2787, 'J'}, {3106, 'K'}, {3212, 'L'}, {3472, 'M'},
    {3635, 'N'}, {3722, 'O'}, {3730, 'P'}, {3858, 'Q'}, {4027, 'R'}, {4086, 'S'},
    {4390, 'T'}, {4558, 'W'}, {4684, 'X'}, {4925, 'Y'}, {5249, 'Z'},
}};
constexpr int kLevel1First = 1601;
constexpr int kLevel1Last = 5589;

char Level1Letter(int code) {
  char letter = kLevel1Thresholds.front().letter;
  for (const Threshold& threshold : kLevel1Thresholds) {
    if (threshold.firstCode > code) break;
    letter = threshold.letter;
  }
  return letter;
}

}  // namespace

std::string MakeFirstLetters(std::u16string_view name) {
  return MakeFirstLettersFromAnsi(TextCodec::Utf16ToAnsi(name));
}

std::string MakeFirstLettersFromAnsi(std::string_view ansiName) {
  std::string letters;
  letters.reserve(ansiName.size());
  size_t i = 0;
  while (i < ansiName.size()) {
    const int a = static_cast<unsigned char>(ansiName[i]);
    const int n = i + 1 < ansiName.size() ? static_cast<unsigned char>(ansiName[i + 1]) : 0;
    if (a <= 0xA0 || n < 0xA1) {
      letters += static_cast<char>(a);
      ++i;
      continue;
    }
    const int code = (a - 160) * 100 + (n - 160);
    const int position = (a - 216) * 94 + (n - 161);
    if (code >= kLevel1First && code <= kLevel1Last) {
      letters += Level1Letter(code);
    } else if (position >= 0 && position < kLevel2Size) {
      letters += kLevel2Letters[position];
    } else {
      letters += static_cast<char>(a);
      letters += static_cast<char>(n);
    }
    i += 2;
  }
  return letters;
}

std::string_view FirstLettersLevel2Table() {
  return {kLevel2Letters, sizeof(kLevel2Letters) - 1};
}
