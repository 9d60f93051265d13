#pragma once
// The module block: a shared block per module and process, named after the
// process and the module with "MODULE", that holds a flag byte (1 when
// options follow) and then the module's current options in their stream
// form, so that the library's copy in another module of the process can
// read them.
#include <windows.h>

#include "core/SharedBlock.h"

namespace RevavaRez {

class TVezavuModuleOptions;

constexpr char kModuleBlockLabel[] = "MODULE";

// This module's block, open from start-up to shut-down.
TSharedBlock& ModuleBlock();

// Rewrites this module's block with the flag byte 1 and the options. When
// the block handed back is smaller than the options (a reader still holds
// an older one open), nothing is published.
void PublishModuleOptions(const TVezavuModuleOptions& options);

// Reads the options that another module of this process published into its
// block, when the block exists and says options follow. False when nothing
// was read or the block held no whole options stream (the options then keep
// what was read so far). Raises only when memory runs out.
bool LoadPublishedOptions(HMODULE module, TVezavuModuleOptions& options);

}  // namespace RevavaRez
