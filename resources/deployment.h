// Deployment data: every host name and web address the program knows.
//
// A publisher that ships Diagnova replaces the values in this one file. The
// values that ship here use the reserved ".example" names and the
// documentation address ranges (192.0.2.0/24, 198.51.100.0/24,
// 203.0.113.0/24), so nothing in this build can reach a real third party.
// Values are string literals so that other tables can join them with paths.
#pragma once

// ---- Publisher's update server (plain HTTP) --------------------------------
#define DEPLOY_UPDATE_HOST "update.orvane.example"
#define DEPLOY_VERSION_FILE_URL "http://" DEPLOY_UPDATE_HOST "/diagnova/download/version.txt"
#define DEPLOY_DOWNLOAD_URL "http://" DEPLOY_UPDATE_HOST "/diagnova/download/Diagnova.exe"

// ---- External-address service (plain HTTP page with "Current IP Address: ") -
#define DEPLOY_EXTERNAL_ADDRESS_URL "http://checkip.orvane.example/"

// ---- Game servers ----------------------------------------------------------
// Entries that share a host in a game's list use the same macro, letter case
// included; the literal hosts are dotted IPv4 addresses.
#define DEPLOY_RV_AUTH_HOST "auth.runeveil.example"
#define DEPLOY_RV_FILE_HOST "files.runeveil.example"
#define DEPLOY_RV_DIAG_HOST "diag.runeveil.example"
#define DEPLOY_RV_PATCH_ROUTE_HOST "patch.runeveil.example"

#define DEPLOY_RV2_AUTH1_HOST "auth1.runeveil2.example"
#define DEPLOY_RV2_AUTH2_HOST "auth2.runeveil2.example"
#define DEPLOY_RV2_FILE_HOST "files.runeveil2.example"
#define DEPLOY_RV2_DIAG_HOST "diag.runeveil2.example"
#define DEPLOY_RV2_CDN_HOST "cdn.runeveil2.example"
#define DEPLOY_RV2_PATCH_ROUTE_HOST "patch.runeveil2.example"

#define DEPLOY_K2_AUTH_HOST "auth.kharros2.example"
#define DEPLOY_K2_NPROTECT_HOST "nprotect.kharros2.example"
#define DEPLOY_K2_PATCH_HOST "patch.kharros2.example"

#define DEPLOY_SOL_WORLD1_HOST "203.0.113.10"
#define DEPLOY_SOL_WORLD2_HOST "203.0.113.11"
#define DEPLOY_SOL_WORLD3_HOST "203.0.113.12"
#define DEPLOY_SOL_WORLD4_HOST "203.0.113.13"
#define DEPLOY_SOL_PATCH_HOST "patch.solmere.example"
#define DEPLOY_SOL_AUTH_HOST "198.51.100.20"
#define DEPLOY_SOL_CHAT_HOST "198.51.100.21"

// ---- Web sites opened in the browser ---------------------------------------
// Publisher
#define DEPLOY_WEB_PUBLISHER_US "www.orvane.example"          // US site: support, licence, privacy
#define DEPLOY_WEB_PUBLISHER_EU "eu.orvane.example"           // European site: privacy pages
#define DEPLOY_WEB_PUBLISHER_KR "www.orvane-kr.example"       // Korean portal: agreement page
#define DEPLOY_WEB_PUBLISHER_SUPPORT "support.orvane.example" // support site root and ticket page
#define DEPLOY_WEB_PUBLISHER_ACCOUNT "account.orvane.example" // login form
#define DEPLOY_WEB_PUBLISHER_NEWS "news.orvane.example"       // game news page

// Runeveil: support site and web site, with per-language hosts
#define DEPLOY_WEB_RV_SUPPORT "support.runeveil.example"
#define DEPLOY_WEB_RV_SUPPORT_FR "fr.support.runeveil.example"
#define DEPLOY_WEB_RV_SUPPORT_DE "de.support.runeveil.example"
#define DEPLOY_WEB_RV_SUPPORT_IT "it.support.runeveil.example"
#define DEPLOY_WEB_RV_SUPPORT_ES "es.support.runeveil.example"
#define DEPLOY_WEB_RV_SITE "www.runeveil.example"
#define DEPLOY_WEB_RV_SITE_FR "fr.runeveil.example"
#define DEPLOY_WEB_RV_SITE_DE "de.runeveil.example"
#define DEPLOY_WEB_RV_SITE_IT "it.runeveil.example"
#define DEPLOY_WEB_RV_SITE_ES "es.runeveil.example"

// Runeveil 2: support site (ticket forms live on it), with per-language hosts
#define DEPLOY_WEB_RV2_SUPPORT "support.runeveil2.example"
#define DEPLOY_WEB_RV2_SUPPORT_FR "fr.support.runeveil2.example"
#define DEPLOY_WEB_RV2_SUPPORT_DE "de.support.runeveil2.example"
#define DEPLOY_WEB_RV2_SUPPORT_ES "es.support.runeveil2.example"

// Kharros II and Solmere support sites
#define DEPLOY_WEB_K2_SUPPORT "support.kharros2.example"
#define DEPLOY_WEB_SOL_SUPPORT "support.solmere.example"

// A further game of the publisher that the catalog does not hold
#define DEPLOY_WEB_OTHER_GAME "www.brightspire.example"
