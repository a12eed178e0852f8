// Ties the local proxy's content filter to the "Enable Java Script" and
// "Enable Active X" settings, so a change saved in the settings dialog applies
// from the next chunk on. Called once at start-up, before the proxy starts.
#pragma once

void UseSettingsForContentFilter();
