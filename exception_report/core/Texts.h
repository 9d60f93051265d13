#pragma once
// The library's 96 built-in texts, by index. Options objects copy them as
// their defaults; everything else reads the texts of its options.
namespace RevavaRez {

const int kTextCount = 96;

// The built-in text of an index; the empty text outside 0 to 95.
const char* TextAt(int index);

}  // namespace RevavaRez
