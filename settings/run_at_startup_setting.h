// The start with Windows, as the application's start-up registers it: the
// Run entry "Cloakwall" starts the executable whose path an installer stored
// in AppFullPath. Called once, after the settings objects are read and before
// the dialog; linking the settings alone (a test, a tool) registers nothing.
#pragma once

// The name of the program's own entry under the Run key.
#define CLOAKWALL_RUN_ENTRY "Cloakwall"

void RegisterRunAtStartupFromSettings();
