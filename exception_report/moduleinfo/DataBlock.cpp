#include "moduleinfo/DataBlock.h"

#include <cstring>
#include <new>
#include <vector>

#include "core/VArev.h"
#include "moduleinfo/DataBlockFormat.h"
#include "moduleinfo/DebugData.h"
#include "moduleinfo/PasswordRequest.h"
#include "options/LibraryData.h"
#include "options/ModuleBlock.h"
#include "packing/Encryption.h"

namespace RevavaRez {

namespace {

// What a block gives a record, gathered before anything is stored so that a
// block that fails a check leaves the record as a module without a block.
struct TLoadedBlock {
  uint16_t Version = kDataBlockVersion;
  TDateTime Compiled = 0;
  // The options stream, in the block's version; none when the block gave
  // no options.
  std::vector<uint8_t> Options;
  bool HasOptions = false;
  std::vector<uint8_t> DebugData;
  bool HasDebugData = false;
  // From version 500: the coded password check word.
  bool HasPasswordCheck = false;
  uint8_t PasswordCheck[4] = {};
};

// Reads an options stream of the version from the bytes; answers how many
// it took, or false when they hold no whole stream.
bool MeasureOptions(const std::string& fileName, const uint8_t* bytes, size_t size, uint16_t version,
                    size_t& used) {
  try {
    TMemoryStream stream;
    stream.WriteBuffer(bytes, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TVezavuModuleOptions scratch(false, fileName);
    scratch.ReadFromStream(stream, version);
    used = static_cast<size_t>(stream.Position());
    return true;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    return false;
  }
}

// The body of the older forms: options stream, D, debug data.
bool TakeCombinedBody(const std::string& fileName, const uint8_t* body, size_t size, bool enumerating,
                      TLoadedBlock& loaded) {
  size_t used = 0;
  if (!MeasureOptions(fileName, body, size, loaded.Version, used)) return false;
  loaded.Options.assign(body, body + used);
  loaded.HasOptions = true;
  TBlockSpan debug;
  if (!SplitDebugData(body, size, used, debug)) return false;
  // A block may carry options without debug data.
  if (enumerating || debug.Size == 0) return true;
  if (!CheckDebugData(body + debug.Offset, debug.Size, loaded.Version)) return false;
  loaded.DebugData.assign(body + debug.Offset, body + debug.Offset + debug.Size);
  loaded.HasDebugData = true;
  return true;
}

// False for a block that fails a check; a failed inflation is no failure of
// the block but leaves it without what the stream held.
bool ReadResourceForm(const std::string& fileName, const uint8_t* block, size_t size, bool enumerating,
                      TLoadedBlock& loaded) {
  TResourceBlockLayout layout;
  if (!ParseResourceBlock(block, size, layout)) return false;
  loaded.Version = layout.Version;
  loaded.Compiled = layout.Compiled;
  if (layout.Version < kSeparateOptionsVersion) {
    const uint8_t* body = block + layout.Body.Offset;
    size_t bodySize = layout.Body.Size;
    std::vector<uint8_t> inflated;
    if (layout.Version >= kCompressedBodyVersion) {
      if (!InflateBounded(body, bodySize, inflated)) return true;
      CountBodyInflated();
      body = inflated.data();
      bodySize = inflated.size();
    }
    return TakeCombinedBody(fileName, body, bodySize, enumerating, loaded);
  }
  std::vector<uint8_t> options;
  if (!InflateBounded(block + layout.Options.Offset, layout.Options.Size, options) || options.empty())
    return true;
  size_t used = 0;
  if (!MeasureOptions(fileName, options.data(), options.size(), layout.Version, used)) return false;
  loaded.Options = std::move(options);
  loaded.HasOptions = true;
  loaded.HasPasswordCheck = true;
  std::memcpy(loaded.PasswordCheck, layout.PasswordCheck, 4);
  if (enumerating) return true;
  std::vector<uint8_t> body;
  if (!InflateBounded(block + layout.Body.Offset, layout.Body.Size, body)) return true;
  CountBodyInflated();
  TBlockSpan debug;
  if (!SplitDebugData(body.data(), body.size(), 0, debug) ||
      !CheckDebugData(body.data() + debug.Offset, debug.Size, layout.Version))
    return false;
  loaded.DebugData.assign(body.begin() + static_cast<ptrdiff_t>(debug.Offset),
                          body.begin() + static_cast<ptrdiff_t>(debug.Offset + debug.Size));
  loaded.HasDebugData = true;
  return true;
}

bool LoadResourceBlock(HMODULE module, const std::string& fileName, bool enumerating, TLoadedBlock& loaded) {
  const uint8_t* bytes;
  size_t size;
  return RURudoResourceBytes(module, bytes, size) &&
         ReadResourceForm(fileName, bytes, size, enumerating, loaded);
}

bool LoadTrailerBlock(const std::string& fileName, bool enumerating, TLoadedBlock& loaded) {
  try {
    TFileStream file(fileName, fmOpenRead | fmShareDenyNone);
    const int64_t fileSize = file.Size();
    if (fileSize < 8) return false;
    uint8_t last8[8];
    file.Seek(-8, soEnd);
    file.ReadBuffer(last8, 8);
    uint64_t start = 0;
    uint32_t size = 0;
    if (!ParseTrailerEnd(last8, static_cast<uint64_t>(fileSize), start, size)) return false;
    std::vector<uint8_t> block(size);
    file.SetPosition(static_cast<int64_t>(start));
    file.ReadBuffer(block.data(), size);
    TTrailerBlockLayout layout;
    if (!ParseTrailerBlock(block.data(), block.size(), layout)) return false;
    loaded.Version = layout.Version;
    loaded.Compiled = layout.Compiled;
    return TakeCombinedBody(fileName, block.data() + layout.Body.Offset, layout.Body.Size, enumerating,
                            loaded);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    // A file that cannot be opened or read carries no block.
    return false;
  }
}

bool PasswordChecks(const std::string& password, const uint8_t coded[4]) {
  UseNameKey(password);
  uint8_t plain[4];
  DecryptBuffer(coded, plain, 4);
  return ReadDWordLE(plain) == kDataBlockMagic;
}

// The block of the module, gathered; false when it has none or one that
// fails a check.
bool ReadBlock(const TVezavuModuleInfo& module, bool enumerating, TLoadedBlock& loaded) {
  if (HasRURudoResource(module.Handle))
    return LoadResourceBlock(module.Handle, module.FileName, enumerating, loaded);
  if (CheckRURudoTrailer(module.Handle)) return LoadTrailerBlock(module.FileName, enumerating, loaded);
  return false;
}

void TakeOptions(TVezavuModuleInfo& module, const TLoadedBlock& loaded) {
  if (!loaded.HasOptions || !module.Options) return;
  TMemoryStream stream;
  stream.WriteBuffer(loaded.Options.data(), static_cast<int64_t>(loaded.Options.size()));
  stream.SetPosition(0);
  try {
    module.Options->ReadFromStream(stream, loaded.Version);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    // Already read whole once; an early end cannot happen here.
  }
}

void TakePasswordAndDebugData(TVezavuModuleInfo& module, const TLoadedBlock& loaded, bool enumerating) {
  if (loaded.HasPasswordCheck && !enumerating) {
    module.Password = RequestModulePassword(module.Handle, module.Password);
    module.NamesReadable = PasswordChecks(module.Password, loaded.PasswordCheck);
    if (!module.NamesReadable && module.Handle != ThisModule()) {
      module.Password = RequestLocalPassword(module.Password);
      module.NamesReadable = PasswordChecks(module.Password, loaded.PasswordCheck);
    }
  }
  if (loaded.HasDebugData) {
    module.DebugData.reset(new TMemoryStream);
    if (!loaded.DebugData.empty())
      module.DebugData->WriteBuffer(loaded.DebugData.data(), static_cast<int64_t>(loaded.DebugData.size()));
    module.DebugData->SetPosition(0);
  }
}

}  // namespace

void LoadDataBlock(TVezavuModuleInfo& module, bool enumerating) {
  module.BlockVersion = kDataBlockVersion;
  module.Compiled = 0;
  module.DebugData.reset();
  module.HasOwnOptions = false;
  TLoadedBlock loaded;
  if (ReadBlock(module, enumerating, loaded)) {
    module.BlockVersion = loaded.Version;
    module.Compiled = loaded.Compiled;
    TakeOptions(module, loaded);
    module.HasOwnOptions = loaded.HasOptions && module.Options;
    TakePasswordAndDebugData(module, loaded, enumerating);
  }
  // Another module's options as it runs now win over those its block was
  // built with.
  if (module.Handle != ThisModule() && module.Options && LoadPublishedOptions(module.Handle, *module.Options))
    module.HasOwnOptions = true;
}

void CompleteDataBlock(TVezavuModuleInfo& module) {
  module.BlockVersion = kDataBlockVersion;
  module.Compiled = 0;
  module.DebugData.reset();
  TLoadedBlock loaded;
  if (!ReadBlock(module, false, loaded)) return;
  module.BlockVersion = loaded.Version;
  module.Compiled = loaded.Compiled;
  TakePasswordAndDebugData(module, loaded, false);
}

}  // namespace RevavaRez
