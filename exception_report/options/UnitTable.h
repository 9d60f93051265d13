#pragma once
// Knowing where the module's static initialisation and destruction stand.
// The linker lays the constructors down as a list in the code section: -1,
// the routines, 0, in pointer-sized slots. The run-time calls them from the
// last to the first, so the routine that runs last is the first after the
// -1. Wrapping that one tells when initialisation is over; a routine put on
// the exit list from there runs before every destructor registered during
// initialisation, so it tells when destruction begins.
namespace RevavaRez {

// Wraps the routine of list that runs last with AfterLastUnitInit. An empty
// list is left alone. When the routine that runs last is the start-up's own
// (the start-up is running and the list holds its routine alone), nothing
// is written: the end of the start-up counts instead (UnitStartUpEnds).
void PatchUnitInitTable(void** list);
// The same over this module's own constructor list.
void PatchUnitInitTable();

// Calls the wrapped routine, clears Interception.InInitialization, puts the
// routine back into its slot and registers BeforeFirstUnitDone with atexit.
void AfterLastUnitInit();
// Sets Interception.InFinalization.
void BeforeFirstUnitDone();

// The start-up constructor brackets its body with these. The start-up runs
// first of the module's constructors, so while it runs the list's last
// slot holds its routine; a list of that routine alone ends with it.
void UnitStartUpBegins();
void UnitStartUpEnds();

}  // namespace RevavaRez
