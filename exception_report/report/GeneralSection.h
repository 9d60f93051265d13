#pragma once
// The opening of every report: the header line and the general section.
#include <string>

#include "report/ReportInputs.h"

namespace RevavaRez {

// "RevavaRez 5.1.10", a blank line and the 33 general fields the options'
// GeneralFieldMask shows.
std::string BuildLogText(const TReportInputs& inputs);

// For tests: the field (by mask bit) whose value throws; -1 for none.
extern int GeneralFaultField;

}  // namespace RevavaRez
