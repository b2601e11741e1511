// The firstLetter value of a ware name: the pinyin initial of each Chinese
// character, found through the name's code page 936 bytes, with every other
// byte copied as it stands ("Cola可乐" gives "ColaKL"). The first-letter
// search matches against these values, so they must stay byte for byte what
// existing stores hold. Pure functions over immutable tables: safe to call
// from any thread.
#pragma once

#include <string>
#include <string_view>

// Converts `name` to code page 936 and hands the bytes to
// MakeFirstLettersFromAnsi. Characters the code page cannot hold become '?'.
std::string MakeFirstLetters(std::u16string_view name);

// The byte walk itself, for text already in code page 936. A lead byte
// without a trail byte (at the end) is copied like any other byte.
std::string MakeFirstLettersFromAnsi(std::string_view ansiName);

// One letter per GB2312 level-2 character in code order (3,008 entries),
// "[" where the established table has no letter.
std::string_view FirstLettersLevel2Table();
