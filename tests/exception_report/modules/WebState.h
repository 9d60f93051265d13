#pragma once
// What the web-host tests read from a test module.
#include <cstddef>
#include <string>

namespace brx_test_module {

// "console=1 cgi=0 wincgi=0 isapi=0 intraweb=0 web=0 gui=0".
std::string WebHostsLine();
// A report text of at least that many bytes, with what the page must
// escape: runs of blanks, markup characters and line breaks.
std::string ReportOfSize(size_t bytes);

}  // namespace brx_test_module
