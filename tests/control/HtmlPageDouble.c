#include "HtmlPageDouble.h"

#include <mshtml.h>
#include <stddef.h>

typedef struct TPage {
  IOleClientSite Site;
  IOleContainer Container;
  IHTMLDocument2 Document;
  IHTMLLocation Location;
  LONG References;
  THtmlPageSettings Settings;
} TPage;

#define PAGE_OF(pointer, member) ((TPage*)((char*)(pointer)-offsetof(TPage, member)))

static ULONG AddPageRef(TPage* page) { return (ULONG)InterlockedIncrement(&page->References); }

static ULONG ReleasePage(TPage* page) {
  LONG left = InterlockedDecrement(&page->References);
  if (left == 0) CoTaskMemFree(page);
  return (ULONG)left;
}

// The container and the document are one object, as in a browser.
static HRESULT QueryDocument(TPage* page, REFIID iid, void** out) {
  *out = NULL;
  if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IOleContainer) ||
      IsEqualIID(iid, &IID_IParseDisplayName)) {
    *out = &page->Container;
  } else if (page->Settings.OfferDocument &&
             (IsEqualIID(iid, &IID_IHTMLDocument2) || IsEqualIID(iid, &IID_IDispatch))) {
    *out = &page->Document;
  } else {
    return E_NOINTERFACE;
  }
  AddPageRef(page);
  return S_OK;
}

// ---- client site

static HRESULT STDMETHODCALLTYPE SiteQuery(IOleClientSite* This, REFIID iid, void** out) {
  TPage* page = PAGE_OF(This, Site);
  *out = NULL;
  if (!IsEqualIID(iid, &IID_IUnknown) && !IsEqualIID(iid, &IID_IOleClientSite)) return E_NOINTERFACE;
  *out = This;
  AddPageRef(page);
  return S_OK;
}
static ULONG STDMETHODCALLTYPE SiteAddRef(IOleClientSite* This) { return AddPageRef(PAGE_OF(This, Site)); }
static ULONG STDMETHODCALLTYPE SiteRelease(IOleClientSite* This) { return ReleasePage(PAGE_OF(This, Site)); }
static HRESULT STDMETHODCALLTYPE SiteGetContainer(IOleClientSite* This, IOleContainer** out) {
  TPage* page = PAGE_OF(This, Site);
  if (FAILED(page->Settings.ContainerResult)) {
    *out = page->Settings.GarbageOnFailure ? (IOleContainer*)(ULONG_PTR)0x10 : NULL;
    return page->Settings.ContainerResult;
  }
  if (page->Settings.NoContainer) {
    *out = NULL;
    return page->Settings.ContainerResult;
  }
  *out = &page->Container;
  AddPageRef(page);
  return page->Settings.ContainerResult;
}
static IOleClientSiteVtbl SiteTable = {.QueryInterface = SiteQuery,
                                       .AddRef = SiteAddRef,
                                       .Release = SiteRelease,
                                       .GetContainer = SiteGetContainer};

// ---- container

static HRESULT STDMETHODCALLTYPE ContainerQuery(IOleContainer* This, REFIID iid, void** out) {
  return QueryDocument(PAGE_OF(This, Container), iid, out);
}
static ULONG STDMETHODCALLTYPE ContainerAddRef(IOleContainer* This) {
  return AddPageRef(PAGE_OF(This, Container));
}
static ULONG STDMETHODCALLTYPE ContainerRelease(IOleContainer* This) {
  return ReleasePage(PAGE_OF(This, Container));
}
static IOleContainerVtbl ContainerTable = {
    .QueryInterface = ContainerQuery, .AddRef = ContainerAddRef, .Release = ContainerRelease};

// ---- document

static HRESULT STDMETHODCALLTYPE DocumentQuery(IHTMLDocument2* This, REFIID iid, void** out) {
  return QueryDocument(PAGE_OF(This, Document), iid, out);
}
static ULONG STDMETHODCALLTYPE DocumentAddRef(IHTMLDocument2* This) {
  return AddPageRef(PAGE_OF(This, Document));
}
static ULONG STDMETHODCALLTYPE DocumentRelease(IHTMLDocument2* This) {
  return ReleasePage(PAGE_OF(This, Document));
}
static HRESULT STDMETHODCALLTYPE DocumentLocation(IHTMLDocument2* This, IHTMLLocation** out) {
  TPage* page = PAGE_OF(This, Document);
  *out = NULL;
  if (FAILED(page->Settings.LocationResult)) return page->Settings.LocationResult;
  *out = &page->Location;
  AddPageRef(page);
  return S_OK;
}
static IHTMLDocument2Vtbl DocumentTable = {.QueryInterface = DocumentQuery,
                                           .AddRef = DocumentAddRef,
                                           .Release = DocumentRelease,
                                           .get_location = DocumentLocation};

// ---- location

static HRESULT STDMETHODCALLTYPE LocationQuery(IHTMLLocation* This, REFIID iid, void** out) {
  TPage* page = PAGE_OF(This, Location);
  *out = NULL;
  if (!IsEqualIID(iid, &IID_IUnknown) && !IsEqualIID(iid, &IID_IDispatch) &&
      !IsEqualIID(iid, &IID_IHTMLLocation))
    return E_NOINTERFACE;
  *out = This;
  AddPageRef(page);
  return S_OK;
}
static ULONG STDMETHODCALLTYPE LocationAddRef(IHTMLLocation* This) {
  return AddPageRef(PAGE_OF(This, Location));
}
static ULONG STDMETHODCALLTYPE LocationRelease(IHTMLLocation* This) {
  return ReleasePage(PAGE_OF(This, Location));
}
static HRESULT STDMETHODCALLTYPE LocationText(IHTMLLocation* This, BSTR* out) {
  TPage* page = PAGE_OF(This, Location);
  *out = NULL;
  if (FAILED(page->Settings.TextResult)) return page->Settings.TextResult;
  *out = SysAllocString(page->Settings.Location ? page->Settings.Location : L"");
  return S_OK;
}
static IHTMLLocationVtbl LocationTable = {.QueryInterface = LocationQuery,
                                          .AddRef = LocationAddRef,
                                          .Release = LocationRelease,
                                          .toString = LocationText};

IOleClientSite* CreateHtmlPageDouble(const THtmlPageSettings* Settings) {
  TPage* page = (TPage*)CoTaskMemAlloc(sizeof(TPage));
  if (!page) return NULL;
  page->Site.lpVtbl = &SiteTable;
  page->Container.lpVtbl = &ContainerTable;
  page->Document.lpVtbl = &DocumentTable;
  page->Location.lpVtbl = &LocationTable;
  page->References = 1;
  page->Settings = *Settings;
  return &page->Site;
}

LONG HtmlPageDoubleReferences(IOleClientSite* Site) { return PAGE_OF(Site, Site)->References; }
