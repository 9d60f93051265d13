#pragma once
// Showing the error page through an IntraWeb application. The application
// and server-controller objects and the captured ShowMessage routine come
// from hooks of the framework's packages; until then nothing sets them.
#include <string>

namespace RevavaRez {

struct TIntraWebHost {
  void* Application = nullptr;
  void* ServerController = nullptr;
  // The server controller compresses its replies.
  bool ReplyCompression = false;
  // A string property of the server controller ("TemplateDir").
  std::string (*ControllerString)(void* controller, const std::string& name) = nullptr;
  // The application class's ShowMessage as it was before the hook replaced
  // it: (application, message, message type, template file). May raise.
  void (*ShowMessage)(void* application, const std::string& message, int messageType,
                      const std::string& templateFile) = nullptr;
};
TIntraWebHost& IntraWebHost();

// The text the processing wants shown.
extern std::string IntraWebMessage;

// True when the page was shown.
bool ShowIntraWebErrorPage();

constexpr char kIntraWebTemplateName[] = "RevavaRez_IWShowMessage.html";

}  // namespace RevavaRez
