// Tables and rules of the main window and the result dialog; see the header.
#include "ui/main_window_rules.h"

#include "resources/deployment.h"
#include "resources/resource_ids.h"

namespace {

const HelpRow kHelpRows[4][kHelpRowCount] = {
    {{97, 16, 23}, {98, 24, 25}, {99, 27, 28}, {100, 29, 30}},   // Runeveil
    {{101, 16, 23}, {102, 24, 25}, {103, 27, 28}, {104, 29, 30}}, // Runeveil 2
    {{93, 16, 23}, {94, 24, 25}, {95, 26, 28}, {96, 31, 32}},     // Kharros II
    {{89, 16, 23}, {90, 24, 25}, {91, 26, 28}, {92, 31, 32}},     // Solmere
};

const unsigned short kListBitmaps[4] = {IDB_GAME_RUNEVEIL, IDB_GAME_RUNEVEIL2,
                                        IDB_GAME_KHARROS2, IDB_GAME_SOLMERE};

struct LanguageCommand {
    int command;
    int language;
};

const LanguageCommand kLanguageCommands[] = {
    {IDM_LANG_ENGLISH, 1},  {IDM_LANG_KOREAN, 2},  {IDM_LANG_FRENCH, 3},
    {IDM_LANG_GERMAN, 4},   {IDM_LANG_ITALIAN, 5}, {IDM_LANG_SPANISH, 6},
    {IDM_LANG_CHINESE_TRADITIONAL, 7}, {IDM_LANG_JAPANESE, 9}, {IDM_LANG_POLISH, 10},
    {IDM_LANG_RUSSIAN, 11}, {IDM_LANG_AUTO, 0},    {IDM_LANG_CHINESE_SIMPLIFIED, 8},
};

const int kListFirstX = 48;
const int kListFirstY = 20;
const int kListStep = 144;
const int kListImageSize = 96;

}  // namespace

const unsigned short kPictureIds[8] = {
    IDJ_LEFT_RUNEVEIL, IDJ_LEFT_RUNEVEIL2, IDJ_LEFT_KHARROS2, IDJ_LEFT_SOLMERE,
    IDJ_TOP_RUNEVEIL,  IDJ_TOP_RUNEVEIL2,  IDJ_TOP_KHARROS2,  IDJ_TOP_SOLMERE,
};

const HelpRow* GetHelpRows(int gameIndex) {
    if (gameIndex < 0 || gameIndex > 3) return nullptr;
    return kHelpRows[gameIndex];
}

bool GetGamePictures(int gameIndex, unsigned short* left, unsigned short* top) {
    if (gameIndex < 0 || gameIndex > 3) return false;
    *left = kPictureIds[gameIndex];
    *top = kPictureIds[4 + gameIndex];
    return true;
}

unsigned short GetGameListBitmap(int gameIndex) {
    if (gameIndex < 0 || gameIndex > 3) return 0;
    return kListBitmaps[gameIndex];
}

int LanguageForCommand(int command) {
    for (const LanguageCommand& entry : kLanguageCommands)
        if (entry.command == command) return entry.language;
    return -1;
}

int CommandForLanguage(int language) {
    for (const LanguageCommand& entry : kLanguageCommands)
        if (entry.language == language) return entry.command;
    return 0;
}

const char* GetPrivacyPolicyUrl(int storedLanguage) {
    switch (storedLanguage) {
    case 2: return "http://" DEPLOY_WEB_PUBLISHER_KR "/rule/agreement/quenta";
    case 3: return "http://" DEPLOY_WEB_PUBLISHER_EU "/fr/legal/privacy-policy.html";
    case 4: return "http://" DEPLOY_WEB_PUBLISHER_EU "/de/legal/privacy-policy.html";
    case 6: return "http://" DEPLOY_WEB_PUBLISHER_EU "/es/legal/privacy-policy.html";
    default: return "http://" DEPLOY_WEB_PUBLISHER_US "/en/legal/privacy-policy.html";
    }
}

int GrowFontHeight(int height) {
    if (height < 0) return height - 2;
    if (height > 0) return height + 2;
    return 0;
}

int GrowFontWidth(int width) { return width != 0 ? width + 2 : 0; }

void PlaceListItems(int listWidth, int count, ListPoint* points) {
    int x = kListFirstX;
    int y = kListFirstY;
    for (int i = 0; i < count; i++) {
        points[i].x = x;
        points[i].y = y;
        x += kListStep;
        if (x + kListImageSize > listWidth) {
            x = kListFirstX;
            y += kListStep;
        }
    }
}

int GetResultSupportTextId(int gameIndex) {
    static const int kSupportTextIds[4] = {61, 62, 60, 59};
    if (gameIndex < 0 || gameIndex > 3) return 0;
    return kSupportTextIds[gameIndex];
}

int GetResultTemplateId(int gameIndex) {
    return gameIndex == 1 ? IDD_RESULT_RUNEVEIL2 : IDD_RESULT_GENERAL;
}
