// Server lists per game. Entries that share a host take the same deployment
// macro, because the report sections print a host's heading only when the
// host text changes from one entry to the next.
#include "catalog/server_catalog.h"

#include "resources/deployment.h"

const ServerEntry kRuneveilServers[7] = {
    {"RV Auth Gate", 7, DEPLOY_RV_AUTH_HOST, 6112, 3},
    {"RV Auth Gate", 7, DEPLOY_RV_AUTH_HOST, 80, 3},
    {"RV File Server", 7, DEPLOY_RV_FILE_HOST, 6112, 3},
    {"RV File Server", 7, DEPLOY_RV_FILE_HOST, 80, 3},
    {"RV Diag Server", 7, DEPLOY_RV_DIAG_HOST, 6112, 3},
    {"RV Diag Server", 7, DEPLOY_RV_DIAG_HOST, 80, 3},
    {"RV Patcher", 7, DEPLOY_RV_PATCH_ROUTE_HOST, 80, 2},
};

const ServerEntry kRuneveil2Servers[10] = {
    {"RV2 Auth Gate", 7, DEPLOY_RV2_AUTH1_HOST, 6112, 3},
    {"RV2 Auth Gate", 7, DEPLOY_RV2_AUTH2_HOST, 80, 3},
    {"RV2 Auth Gate", 7, DEPLOY_RV2_AUTH2_HOST, 6112, 3},
    {"RV2 Auth Gate", 7, DEPLOY_RV2_AUTH1_HOST, 80, 3},
    {"RV2 File Server", 7, DEPLOY_RV2_FILE_HOST, 6112, 3},
    {"RV2 File Server", 7, DEPLOY_RV2_FILE_HOST, 80, 3},
    {"RV2 Diag Server", 7, DEPLOY_RV2_DIAG_HOST, 6112, 3},
    {"RV2 Diag Server", 7, DEPLOY_RV2_DIAG_HOST, 80, 3},
    {"RV2 Patcher", 7, DEPLOY_RV2_CDN_HOST, 80, 3},
    {"RV2 Patcher", 7, DEPLOY_RV2_PATCH_ROUTE_HOST, 80, 2},
};

const ServerEntry kKharros2Servers[3] = {
    {"K2 Auth Gate", 3, DEPLOY_K2_AUTH_HOST, 2106, 3},
    {"K2 nprotect", 3, DEPLOY_K2_NPROTECT_HOST, 80, 3},
    {"K2 Patcher", 3, DEPLOY_K2_PATCH_HOST, 80, 3},
};

const ServerEntry kSolmereServers[7] = {
    {"Solmere World", 3, DEPLOY_SOL_WORLD1_HOST, 7777, 3},
    {"Solmere World", 3, DEPLOY_SOL_WORLD2_HOST, 7777, 3},
    {"Solmere World", 3, DEPLOY_SOL_WORLD3_HOST, 7777, 3},
    {"Solmere World", 3, DEPLOY_SOL_WORLD4_HOST, 7777, 3},
    {"Solmere Patcher", 3, DEPLOY_SOL_PATCH_HOST, 80, 3},
    {"Solmere Auth Gate", 3, DEPLOY_SOL_AUTH_HOST, 2106, 3},
    {"Solmere Chat Server", 3, DEPLOY_SOL_CHAT_HOST, 10241, 3},
};

const char* GetRegionText(int32_t region) {
    switch (region) {
        case 0: return "N/A";
        case 1: return "US East";
        case 2: return "US West";
        case 3: return "US";
        case 4: return "EU";
        case 7: return "US/EU";
        default: return "Region Error";
    }
}
