#include "core/Texts.h"

namespace RevavaRez {

namespace {

// Constant-initialised, so that it can be read at any time of start-up.
constexpr const char* kTexts[] = {
    // Message captions
    "Information.",
    "Question.",
    // Exception dialog
    "Error.",
    "An error has occurred during program execution.\r\nPlease read the following information for further "
    "details.",
    "General",
    "General Information",
    "Call Stack",
    "Call Stack Information",
    "Modules",
    "Modules Information",
    "CPU",
    "CPU Information",
    "Other",
    "Other Information",
    "&OK",
    "&Terminate",
    "&Restart",
    "&Details",
    "&Send this error via Internet",
    "&Attach a Screenshot image",
    "&Copy to Clipboard",
    "Go to the Support Page",
    // Report labels, general section
    "Application",
    "Start Date",
    "Name/Description",
    "Version Number",
    "Parameters",
    "Compilation Date",
    "Exception",
    "Date",
    "Address",
    "Module",
    "Type",
    "Message",
    "Active Controls",
    "Form Class",
    "Form Text",
    "Control Class",
    "Control Text",
    "Computer",
    "Name",
    "User",
    "Total Memory",
    "Free Memory",
    "Total Disk",
    "Free Disk",
    "System Up Time",
    "Processor",
    "Display Mode",
    "Operating System",
    "Type",
    "Build #",
    "Update",
    "Language",
    "Network",
    "IP Address",
    "Submask",
    "Gateway",
    "DNS 1",
    "DNS 2",
    "DHCP",
    "Custom Information",
    // Call stack columns
    "Address",
    "Module",
    "Unit",
    "Class",
    "Procedure/Method",
    "Line",
    // Thread labels
    "Main",
    "Exception Thread",
    "Running Thread",
    "Calling Thread",
    "ID",
    "Priority",
    "Class",
    // Send dialog
    "Send.",
    "Message",
    "Resolving DNS...",
    "Connecting with server...",
    "Connected with server.",
    "Sending message...",
    // Reproduce dialog
    "Request",
    "Please describe the steps to reproduce the error:",
    "&OK",
    // Modules list columns
    "Handle",
    "Name",
    "Description",
    "Version",
    "Size",
    "Modified",
    "Path",
    // CPU section
    "Registers",
    "Stack",
    "Memory Dump",
    // Send results
    "The message was sent successfully.",
    "Sorry, sending the message didn't work.",
};
static_assert(sizeof kTexts / sizeof kTexts[0] == kTextCount, "every index has its text");

}  // namespace

const char* TextAt(int index) { return index >= 0 && index < kTextCount ? kTexts[index] : ""; }

}  // namespace RevavaRez
