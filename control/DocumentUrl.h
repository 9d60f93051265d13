#pragma once
// The URL of the web page that hosts the control, through the client site's
// container, so a bare file name can be opened from the page's folder.
#include <ole2.h>
#include <windows.h>

#include <string>

// Empty when there is no client site, no container or the container is no
// HTML document. Raises EOleError when the document's location or its text
// cannot be read.
std::wstring GetDocumentURL(IOleClientSite* Site);
