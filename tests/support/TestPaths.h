#pragma once
// Paths of the build as the tests under Wine see them.
#include <string>

// A build path (a Unix path under Wine) as a Windows path.
std::wstring WindowsPath(const std::string& BuildPath);
// The build's artifacts folder (screenshots for people), made when missing.
std::wstring ArtifactsFolder();
