#pragma once
// A client site whose container is (or is not) an HTML page with a location,
// for the tests of reading the hosting page's URL. Written in C, so only the
// few methods that are used need an entry in each table; calling any other
// one crashes the test, which is what it should do.
#include <ole2.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct THtmlPageSettings {
  HRESULT ContainerResult;  // answer of GetContainer
  int NoContainer;          // GetContainer succeeds with no container
  int GarbageOnFailure;     // a failing GetContainer leaves a bad pointer behind
  int OfferDocument;        // the container is an IHTMLDocument2
  HRESULT LocationResult;   // answer of get_location
  HRESULT TextResult;       // answer of the location's toString
  const wchar_t* Location;  // the location's text
} THtmlPageSettings;

// The site comes with one reference, the caller's.
IOleClientSite* CreateHtmlPageDouble(const THtmlPageSettings* Settings);
// References held on any of the double's interfaces.
LONG HtmlPageDoubleReferences(IOleClientSite* Site);

#ifdef __cplusplus
}
#endif
