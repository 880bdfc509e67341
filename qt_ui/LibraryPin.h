#pragma once

// Once the UI has started, Qt's process-wide QML registries hold strings that
// point into this library's compiled QML, and the UI thread runs its code; a
// host's unload must therefore not unmap it. Called when the UI thread starts.
void pinLibrary();

// Whether the UI thread may still be running when the library's static
// objects are destroyed at process exit (Windows stops all other threads
// first).
bool uiThreadMayRunAtExit();
