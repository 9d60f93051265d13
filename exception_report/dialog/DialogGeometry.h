#pragma once
// The detailed dialog's place, size and show state, kept in the settings
// file under "Coordinates".
#include <string>

namespace RevavaRez {

// A stored value: a decimal number, clamped to 0..32767 so that no sum of
// the layout overflows; anything else gives the default.
int IniNumber(const std::string& text, int defaultValue);
// What the settings file holds under the key, read as IniNumber.
int ReadCoordinate(const std::string& key, int defaultValue);
void WriteCoordinate(const std::string& key, int value);

// Into DialogState().Geometry, kept on the screen.
void LoadDialogGeometry();
// Writes only when a width was recorded; "WindowsState" always then.
void SaveDialogGeometry();

}  // namespace RevavaRez
