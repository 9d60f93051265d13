// The duplicate test on a full log of 32 reports against a plain
// std::string::find of the same four values over the same texts, in the
// same run.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "report/LogFile.h"
#include "report/ReportFixture.h"

namespace {

using namespace RevavaRez;
using TClock = std::chrono::steady_clock;

ReportFixture::TDuplicateValues ValuesOf(int n) {
  ReportFixture::TDuplicateValues values;
  char address[16];
  std::snprintf(address, sizeof address, "%08X", 0x00401000u + 16u * static_cast<unsigned>(n));
  values.Address = address;
  values.Message = "Access violation at address " + values.Address + ".\r\nRead of address: 0000" +
                   std::to_string(1000 + n) + ".";
  return values;
}

std::vector<std::string> Fields(const ReportFixture::TDuplicateValues& values) {
  return {values.Address, values.Module, values.Type, values.Message};
}

template <typename F>
double MillisecondsPerCall(int calls, F&& call) {
  TClock::time_point start = TClock::now();
  for (int i = 0; i < calls; ++i) call();
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count() / calls;
}

}  // namespace

int main() {
  const int Reports = 32, Calls = 5000;
  TLogFile log("", false);
  for (int n = 0; n < Reports; ++n) log.AddEntry(ReportFixture::Report("5.1.10", ValuesOf(n)), Reports);
  size_t bytes = log.GetText().size();
  const std::vector<std::string> keys = {"2.2", "2.3", "2.4", "2.5"};
  const std::vector<std::string> newest = Fields(ValuesOf(Reports - 1)), absent = Fields(ValuesOf(Reports));

  volatile bool sink = false;
  double lastFound = MillisecondsPerCall(Calls, [&] { sink = log.HasEntryWith(keys, newest); });
  double notFound = MillisecondsPerCall(Calls, [&] { sink = log.HasEntryWith(keys, absent); });
  if (!log.HasEntryWith(keys, newest) || log.HasEntryWith(keys, absent)) {
    std::printf("log_bench: the duplicate test answered wrongly\n");
    return 1;
  }

  // The baseline looks for each value anywhere in each entry, as a search
  // that knows nothing of the layout would.
  std::vector<std::string> entries;
  for (int i = 0; i < log.Count(); ++i) entries.push_back(log.Entry(i));
  auto plainFind = [&](const std::vector<std::string>& values) {
    for (const std::string& entry : entries) {
      bool all = true;
      for (const std::string& value : values) all = all && entry.find(value) != std::string::npos;
      if (all) return true;
    }
    return false;
  };
  double baseFound = MillisecondsPerCall(Calls, [&] { sink = plainFind(newest); });
  double baseNotFound = MillisecondsPerCall(Calls, [&] { sink = plainFind(absent); });
  (void)sink;

  std::printf("log of %d reports, %zu bytes\n", Reports, bytes);
  std::printf("HasEntryWith, newest report matches: %8.4f ms   std::string::find: %8.4f ms   ratio %.2f\n",
              lastFound, baseFound, lastFound / baseFound);
  std::printf("HasEntryWith, no report matches:     %8.4f ms   std::string::find: %8.4f ms   ratio %.2f\n",
              notFound, baseNotFound, notFound / baseNotFound);
  return 0;
}
