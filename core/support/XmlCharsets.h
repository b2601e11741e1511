// Character-set names as documents declare them (IANA names and their
// common aliases) mapped to Windows code page numbers, and each code page to
// the iconv name that converts it on this system. Constant tables, safe from
// any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace XmlCharsets {

// The system's ANSI code page, used when a name is not known (GBK).
constexpr int kAnsiCodePage = 936;
constexpr int kUtf8 = 65001;
constexpr int kUtf16Le = 1200;
constexpr int kUtf16Be = 1201;

struct Charset {
  std::string_view name;  // lower case
  int codePage;
};

// The whole name table, sorted by name.
std::span<const Charset> Table();

// Code page of a charset name, ASCII letters folded to lower case and
// surrounding blanks ignored; 0 when the name is not in the table.
int Find(std::string_view name);
// As Find, but an unknown name gives kAnsiCodePage.
int CodePageOf(std::string_view name);
// The iconv name for a code page, never null: a known name, else "CP<n>"
// (which iconv may still reject; callers fall back to the ANSI code page).
std::string IconvName(int codePage);

}  // namespace XmlCharsets
