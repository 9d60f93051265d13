#pragma once
// Removing a folder the tests made, with everything below it.
#include <string>

void RemoveTree(const std::string& folder);
