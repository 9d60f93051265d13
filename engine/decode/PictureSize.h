#pragma once
// The picture size of a live stream, which has no file header to give it:
// both live sources (TCP and multicast) open on their first key frame and
// learn the size by decoding it.
#include <cstdint>

#include "format/KRMFormat.h"

// Decodes the key frame Frame (its header, then Frame.Length payload bytes
// in the same block) under the decoder lock into the shared output block and
// reads the width and the unsigned height of the resulting bitmap image.
// Throws Exception when the payload does not decode to an image of 1 to
// 65,535 pixels each way, so a stream never opens with a size it cannot draw.
void GetPictureSize(const FrameRecord& Frame, uint16_t& Width, uint16_t& Height);
