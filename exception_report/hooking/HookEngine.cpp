// The hooking engine's set-up and shut-down.
#include "hooking/HookEngine.h"

#include "hooking/HookedMethodsList.h"
#include "core/VArev.h"

namespace RevavaRez {

namespace {

int HookCounter = 0;

void InitHook() {
  ImportHooks = new std::vector<TSaveDLLProc>();
  CreateHookedMethods();
  CodeHooks = new std::vector<TCodeHook>();
}

// Import tables first, then the virtual-method slots (the list's destructor
// writes them back), then the code hooks from the last to the first.
void DoneHook() {
  if (std::vector<TSaveDLLProc>* imports = ImportHooks) {
    for (const TSaveDLLProc& hook : *imports) {
      try {
        PatchImportTable(hook.Module, hook.DLLName, reinterpret_cast<void*>(hook.Replacement), true, true,
                         hook.DLLName, reinterpret_cast<void*>(hook.Original));
      } catch (...) {
        // One record that cannot be restored does not keep the others.
      }
    }
    ImportHooks = nullptr;
    delete imports;
  }
  FreeHookedMethods();
  UnhookAllProcedures();
}

}  // namespace

// Set-up decrements the counter and runs only from 0; shut-down increments
// it and runs only from -1.
void EHookInit() {
  if (HookCounter-- == 0) RunGuarded(InitHook, "EHook.Init");
}

void EHookDone() {
  if (HookCounter++ == -1) RunGuarded(DoneHook, "EHook.Done");
}

}  // namespace RevavaRez
