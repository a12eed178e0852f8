// RegisterRunAtStartup: makes the machine-wide Run key start the program,
// taking the executable's path from AppFullPath (which an installer stores).
#pragma once

void RegisterRunAtStartup();
