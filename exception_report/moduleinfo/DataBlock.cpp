#include "moduleinfo/DataBlock.h"

namespace RevavaRez {

void LoadDataBlock(TVezavuModuleInfo& module, bool) {
  module.BlockVersion = kDataBlockVersion;
  module.Compiled = 0;
  module.DebugData.reset();
}

}  // namespace RevavaRez
