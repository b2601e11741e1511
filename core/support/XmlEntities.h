// Character references of XML text: the five XML names, the named
// character references of HTML 4.01, and numeric references. Stateless
// lookups over constant tables, safe from any thread.
#pragma once

#include <cstddef>
#include <string_view>

namespace XmlEntities {

// The character a reference name stands for, 0 when unknown. A name is
// first looked up exactly as written, so "Aacute" and "aacute" keep their
// HTML meanings; a name that matches nothing is then folded to lower case
// (ASCII letters), so "AMP" or "Lt" still resolve, and a folded name that
// HTML spells in two cases ("AACUTE") gives the small letter.
char16_t Lookup(std::string_view name);

// Decodes the reference that follows an '&'. `text` starts after the '&'.
// A reference is at most nine characters below 128 followed by ';': a name,
// "#" and decimal digits, or "#x" and hexadecimal digits. Returns the number
// of UTF-16 units written to out (2 for a code point above U+FFFF) and sets
// consumed to the characters taken after the '&' (the ';' included); 0 when
// there is no recognised reference or it gives 0, a surrogate or a value
// beyond U+10FFFF.
int Decode(std::u16string_view text, std::size_t& consumed, char16_t out[2]);

}  // namespace XmlEntities
