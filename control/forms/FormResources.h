#pragma once
// Identifiers of the control library's dialog templates and their parts.
#define IDD_ABOUT 200

#define IDC_ABOUT_LABEL1 201
#define IDC_ABOUT_LABVERSION 202
