// The main window's fixed tables and small rules, kept free of the Windows API
// so they are tested natively: help rows and pictures per game, the language
// of each menu command, the privacy page per stored language, the grid of the
// game list, the enlarged label font, and the result dialog per game.
#pragma once

const int kHelpRowCount = 4;

struct HelpRow {
    int addressTextId;
    int linkTextId;
    int descriptionTextId;
};

// Help rows of a game (index 0-3); NULL for any other index.
const HelpRow* GetHelpRows(int gameIndex);

// JPG resource ids: left pictures by game index, then top pictures.
extern const unsigned short kPictureIds[8];
// Left and top picture of a game; false for any other index.
bool GetGamePictures(int gameIndex, unsigned short* left, unsigned short* top);
// List bitmap of a game; 0 for any other index.
unsigned short GetGameListBitmap(int gameIndex);

// Menu command of a language choice -> language number; -1 for other commands.
int LanguageForCommand(int command);
// Language number -> menu command; 0 for numbers that have none.
int CommandForLanguage(int language);

// The privacy page for the stored language value (not the displayed one).
const char* GetPrivacyPolicyUrl(int storedLanguage);

// A font size grown by 2 in magnitude: negative sizes become 2 smaller,
// positive ones 2 larger, 0 stays 0.
int GrowFontHeight(int height);
// A font width grown by 2 unless it is 0.
int GrowFontWidth(int width);

struct ListPoint {
    int x;
    int y;
};
// Positions of the game list's items: the first at (48, 20), then 144 apart,
// wrapping to a new row (x = 48, y + 144) when an item would cross listWidth.
void PlaceListItems(int listWidth, int count, ListPoint* points);

// Text id of the result dialog's support address for a game; 0 for none.
int GetResultSupportTextId(int gameIndex);
// Result dialog template for a game: 172 for Runeveil 2, 173 otherwise.
int GetResultTemplateId(int gameIndex);
