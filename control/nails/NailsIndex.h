#pragma once
// The thumbnail index "nails.xml": lines of name "=" value, where the name is
// the thumbnail's time in milliseconds and the value its image file in the
// "nails" folder beside the index. Byte text in the system code page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The index of a folder, in it.
constexpr const char* NailsIndexName = "nails.xml";
// At most this many thumbnails are shown of one recording.
constexpr int MaxNails = 120;
// A thousand lines take some 30 KB, a thumbnail some KB: files this large
// are neither, and are neither read nor downloaded.
constexpr uint64_t MaxIndexBytes = 16 << 20;
constexpr uint64_t MaxNailImageBytes = 64 << 20;

// Lines end at CR LF, CR or LF; a line end at the very end makes no extra
// empty line.
std::vector<std::string> SplitIndexLines(const std::string& Text);
// Reads the lines of an index file; false when it cannot be read or is
// larger than any index can sensibly be.
bool LoadIndexFile(const std::string& Path, std::vector<std::string>& Lines);
// The text before the first "="; empty when the line has none.
std::string LineName(const std::string& Line);
// The value of each name: that of the first line whose name equals it
// without regard to letter case. Made once for an index, so that looking
// up every line's name stays linear in the index's size.
class TIndexValues {
 public:
  // Keeps a reference to Lines, which must outlive it unchanged.
  explicit TIndexValues(const std::vector<std::string>& Lines);
  // Empty when no line has that name.
  std::string Of(const std::string& Name) const;

 private:
  // Names are compared, and so hashed, without regard to letter case.
  struct TNameHash {
    size_t operator()(std::string_view Name) const noexcept;
  };
  struct TSameName {
    bool operator()(std::string_view A, std::string_view B) const noexcept;
  };

  // Each name, in its line, to the value of its first line.
  std::unordered_map<std::string_view, std::string_view, TNameHash, TSameName> FFirst;
};
// Appends the middle of each of N equal parts of Lo..Hi, by bisection, while
// Chosen holds fewer than MaxNails indexes.
void PickIndices(int N, int Lo, int Hi, std::vector<int>& Chosen);
// The lines shown of an index of Count lines: all of them up to MaxNails;
// beyond that the first, 118 spread over the middle and the last.
std::vector<int> ChooseNailLines(int Count);

struct TNailEntry {
  int32_t Seconds;
  std::string Image;  // relative to the "nails" folder
};
// The entries of the chosen lines, in order. A blank chosen line ends them,
// and so does a name that is no decimal 32-bit integer: what came before
// stays.
std::vector<TNailEntry> ReadNailEntries(const std::vector<std::string>& Lines);

// A name from a downloaded index may only name a file inside the "nails"
// folder: not absolute, no leading "\" or "/", no ":" and no ".." part;
// and no part that opens a device instead of a file (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, in any case, with any extension, trailing
// dots or spaces).
bool IsSafeNailName(const std::string& Name);
// The images the download fetches for an index: the value of each line's
// name from the first line on, up to the first empty one, without the
// names that are not safe.
std::vector<std::string> NailImagesToFetch(const std::vector<std::string>& Lines);

// A recording's URL up to and including its last "/"; empty without one.
std::string URLFolder(const std::string& URL);
// A local recording's folder: up to and including the last "\" or ":".
std::string FileFolder(const std::string& Path);
