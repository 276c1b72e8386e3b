// Unicode character properties used by the reader and the repair passes.
// The tables are generated from the Unicode Character Database (see
// generate_unicode_tables.py); every function is a binary search over
// sorted code point ranges.
#pragma once

namespace plomet::unicode {

bool is_white_space(char32_t c);   // White_Space property
bool is_alphabetic(char32_t c);    // Alphabetic property
bool is_diacritic(char32_t c);     // Diacritic property
bool is_letter(char32_t c);        // general categories Lu, Ll, Lt, Lm, Lo, Nl
bool is_identifier_extra(char32_t c);  // general categories Mn, Nd, Pc
bool is_space_separator(char32_t c);   // general category Zs
bool is_numeric(char32_t c);       // general categories Nd, Nl, No

}  // namespace plomet::unicode
