#include "nails/NailsCreator.h"

#include <cstring>
#include <memory>

#include "ControlMessages.h"

TNailsCreator::TNailsCreator(HWND Target, std::string Folder) : FTarget(Target), FFolder(std::move(Folder)) {
  SetPriority(THREAD_PRIORITY_LOWEST);
}

TNailsCreator::~TNailsCreator() {
  Terminate();
  WaitFor();
}

void TNailsCreator::Execute() {
  std::vector<std::string> lines;
  // No index, or one that cannot be read: no thumbnails, and no message.
  if (!LoadIndexFile(FFolder + NailsIndexName, lines)) return;
  for (const TNailEntry& entry : ReadNailEntries(lines)) {
    if (FTerminated) return;
    // Names that reach out of the "nails" folder, or open a device, were
    // never downloaded and are not read either.
    if (!IsSafeNailName(entry.Image)) continue;
    PostNail(entry);
  }
}

void TNailsCreator::PostNail(const TNailEntry& Entry) {
  const std::string path = FFolder + "nails\\" + Entry.Image;
  // A cut path would name another file: such an entry is left out.
  if (path.size() > static_cast<size_t>(NailInfo::PathSize)) return;
  std::unique_ptr<NailInfo> block(new NailInfo{});
  block->PathLength = static_cast<int32_t>(path.size());
  block->Seconds = Entry.Seconds;
  std::memcpy(block->Path, path.data(), path.size());
  if (PostMessageW(FTarget, WM_KRM_ADDNAIL, reinterpret_cast<WPARAM>(block.get()), 0)) block.release();
}
