// The browser's window caption: "Cloakwall is Enabled" while the program
// runs, written into the "Window Title" value of both the machine and the
// current user.
#pragma once

// Writes the enabled caption into both copies (machine first).
void SetBrowserTitle();

// Empties both copies (machine first); a copy that does not exist stays absent.
void ClearBrowserTitle();
