// Resource ids of the program: dialogs, controls, the tray menu's commands,
// the icon and the string table. Shared by the .rc script and the code.
#pragma once

#define IDR_MAINFRAME 128 // application and tray icon
#define IDR_TRAYMENU 129  // the tray menu
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101 // "&About Cloakwall..."
#define IDD_SETTINGS_DIALOG 102
#define IDD_ADDPROXY_DIALOG 132
#define IDD_SOURCES_DIALOG 133

// The system-menu item that opens the about box.
#define IDM_ABOUTBOX 0x0010

// Settings dialog controls.
#define IDC_USEPROXY 1000
#define IDC_ENABLEJS 1002
#define IDC_CLEARTMPFILES 1003
#define IDC_CLEARCOOKIES 1004
#define IDC_DELETEADDRESSES 1005
#define IDC_DELETEHISTORY 1006
#define IDC_PROXYCOMBO 1008
#define IDC_ENABLEACTIVEX 1010
#define IDC_UPDATEPROXYLIST 1021
#define IDC_ADDNEWPROXY 1023
#define IDC_TESTALLPROXIES 1024 // "Test All Proxies", "Cancel Test" while it runs
#define IDC_TESTSTATUS 1025     // the test's progress, and notices while the icon is away
#define IDC_PROXYSOURCES 1026   // "Proxy Sources..."

// Add-proxy dialog.
#define IDC_NEWPROXY 1022

// Proxy sources dialog.
#define IDC_SOURCES 1030
#define IDC_JUDGEURLS 1031
#define IDC_PROXYBYPASS 1032
#define IDC_IMPORTPROXIES 1033
#define IDC_PASTEPROXIES 1034
#define IDC_MYPROXIESPATH 1035

// Tray menu commands.
#define ID_TOGGLE_ANONYMOUS 32771 // "Enable Anonymous Browsing"
#define ID_CONFIGURATION 32772    // "Configuration"
#define ID_EXIT_CLOAKWALL 32775   // "Exit Cloakwall"
#define ID_TEST_ALL_PROXIES 32776 // "Test All Proxies"

// The window class the settings dialog is created with, so a second start
// (and the installer) can find the running one.
#define CLOAKWALL_SETTINGS_CLASS "CloakwallSettings"

// Version of the program.
#define CLOAKWALL_VERSION_TEXT "1.5"
