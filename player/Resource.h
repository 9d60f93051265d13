#pragma once
// Identifiers of the program's resources and commands.
#define IDR_MAINMENU 100
#define IDR_ACCELERATORS 101
#define IDD_URL 102
#define IDI_MAIN 103

#define IDM_OPENFILE 1001
#define IDM_OPENURL 1002
#define IDM_CLOSE 1003
#define IDM_EXIT 1004
#define IDM_PLAY 1011
#define IDM_PAUSE 1012
#define IDM_STOP 1013
#define IDM_SCANFORWARD 1014

#define IDC_LABURL 1101
#define IDC_EDTURL 1102

// Recent-files entries take the identifiers from here on.
#define IDM_MRU_FIRST 0xE000
