#include "DocumentUrl.h"

#include <mshtml.h>

#include <memory>

#include "ole/SupportErrorInfo.h"

namespace {

struct TReleaser {
  void operator()(IUnknown* Unknown) const { Unknown->Release(); }
};
template <class T>
using TReference = std::unique_ptr<T, TReleaser>;

void RaiseOleError(HRESULT Result) {
  char text[32];
  wsprintfA(text, "OLE error %08X", static_cast<unsigned>(Result));
  throw EOleSysError(Result, text);
}

struct TBstr {
  BSTR Text = nullptr;
  ~TBstr() { SysFreeString(Text); }
};

}  // namespace

std::wstring GetDocumentURL(IOleClientSite* Site) {
  // A control that is not sited, or a site that fails without clearing its
  // out pointer, must not lead to a call through garbage: a reference is
  // only taken over from a call that succeeded.
  if (!Site) return std::wstring();
  IOleContainer* rawContainer = nullptr;
  if (FAILED(Site->GetContainer(&rawContainer)) || !rawContainer) return std::wstring();
  TReference<IOleContainer> container(rawContainer);

  void* rawDocument = nullptr;
  if (FAILED(container->QueryInterface(IID_IHTMLDocument2, &rawDocument)) || !rawDocument)
    return std::wstring();
  TReference<IHTMLDocument2> document(static_cast<IHTMLDocument2*>(rawDocument));

  IHTMLLocation* rawLocation = nullptr;
  HRESULT result = document->get_location(&rawLocation);
  if (FAILED(result)) RaiseOleError(result);
  if (!rawLocation) RaiseOleError(E_POINTER);
  TReference<IHTMLLocation> location(rawLocation);

  TBstr text;
  result = location->toString(&text.Text);
  if (FAILED(result)) RaiseOleError(result);
  return text.Text ? std::wstring(text.Text, SysStringLen(text.Text)) : std::wstring();
}
