#pragma once
// What kind of module an image is: a program, a run-time package (a library
// with the package resources) or another library.
#include <windows.h>

#include <cstdint>
#include <string>

namespace RevavaRez {

// mkUnknown when the image is no PE image, mkProgram without the DLL flag,
// else mkPackage when the file holds both RCDATA "PACKAGEINFO" and
// "PACKAGEOPTIONS", mkLibrary otherwise.
uint8_t ModuleKindOf(const void* image, const std::string& fileName);
uint8_t ModuleKindOf(HMODULE module);

}  // namespace RevavaRez
