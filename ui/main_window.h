// The main window: a modeless dialog with a menu that holds the game list pane
// and the test pane at the same place. It owns the menu commands (exit,
// language, version check, privacy page, About) and the test pane's game
// selection with its pictures and help links.
#pragma once

#include <windows.h>

// Creates and shows the main window and starts the sockets library; false
// when a pane cannot be created.
bool CreateMainWindow(HINSTANCE instance, int showCommand);

// Makes a game (index 0-3, anything else for none) current in the test pane.
void SelectGame(int gameIndex);

// Re-applies the texts of the current language: menu, list pane, test pane.
void RelabelAll();

// The latest-version check of the menu and of start-up. Returns false when
// the user chose to download the newer version, which closes the program.
bool CheckForLatestVersion(HWND owner, bool silent);
// Opens the download page when it answers, else says the server cannot be
// reached.
void DownloadLatestVersion();
