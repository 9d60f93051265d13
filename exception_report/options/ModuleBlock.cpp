#include "options/ModuleBlock.h"

#include <cstring>
#include <new>

#include "core/ExceptionLog.h"
#include "core/Streams.h"
#include "core/VArev.h"
#include "options/VezavuModuleOptions.h"

namespace RevavaRez {

TSharedBlock& ModuleBlock() {
  static TSharedBlock block;
  return block;
}

bool NamesThisModule(const std::string& fileName) {
  return !fileName.empty() && ModuleHandleOfFile(fileName) == ThisModule();
}

void PublishModuleOptions(const TVezavuModuleOptions& options) {
  TMemoryStream stream;
  const uint8_t optionsFollow = 1;
  stream.WriteBuffer(&optionsFollow, 1);
  options.WriteToStream(stream);
  // The size word counts the 4 bytes of its own.
  if (stream.Size() > static_cast<int64_t>(UINT32_MAX - 4)) return;
  TSharedBlock& block = ModuleBlock();
  CloseSharedBlock(block);
  if (!OpenSharedBlock(ThisModule(), kModuleBlockLabel, static_cast<uint32_t>(stream.Size()), block)) return;
  if (block.DataSize < static_cast<uint64_t>(stream.Size())) return;
  std::memcpy(block.Data, stream.Memory(), static_cast<size_t>(stream.Size()));
}

bool LoadPublishedOptions(HMODULE module, TVezavuModuleOptions& options) {
  if (module == nullptr || module == ThisModule()) return false;
  TSharedBlock block;
  bool loaded = false;
  try {
    if (OpenSharedBlock(module, kModuleBlockLabel, 0, block) && block.DataSize >= 1 && block.Data[0] != 0) {
      TMemoryStream stream;
      stream.WriteBuffer(block.Data + 1, block.DataSize - 1);
      stream.SetPosition(0);
      options.ReadFromStream(stream);
      loaded = true;
    }
  } catch (const std::bad_alloc&) {
    // Out of memory is not a bad block: the refresh that asked must hear it.
    CloseSharedBlock(block);
    throw;
  } catch (...) {
    // Anyone may create a block of that name: a stream that does not read
    // is no options, and must not reach the module list that asked.
  }
  CloseSharedBlock(block);
  return loaded;
}

}  // namespace RevavaRez
