#include "report/GeneralSection.h"

namespace RevavaRez {

std::string BuildLogText(const TReportInputs&) { return "RevavaRez 5.1.10\r\n\r\n"; }

}  // namespace RevavaRez
