#ifndef BAPPINFO_H
#define BAPPINFO_H

#include <QtGlobal>

// The program's identity: one constant for each fact, used by start-up,
// the settings store, the title, the About and splash dialogs and the
// online services.
namespace BAppInfo {

inline constexpr const char* organisationName = "Tessavond";
inline constexpr const char* organisationDomain = "tessavond.example";
inline constexpr const char* applicationName = "Lockharbour";
inline constexpr const char* applicationVersion = "1.3";
// Full product name, used in titles, the file-format label and the dialogs.
inline constexpr const char* productName = "Lockharbour Password Manager";
inline constexpr const char* webAddress = "https://tessavond.example/lockharbour";
// Where "Visit Download Page" of the update dialog and the plugin
// manager's link lead.
inline constexpr const char* downloadPageAddress = "https://tessavond.example/lockharbour/download";
inline constexpr const char* pluginPageAddress = "https://tessavond.example/lockharbour/plugins";
// The web service of the update check, usage statistics and feedback. The
// setting "blib.service.baseUrl" replaces it (serviceBaseUrl()), so that
// packagers, self-hosters and tests can use a server of their own.
inline constexpr const char* serviceBaseAddress = "https://service.tessavond.example";
// How the program names itself to the web service ("app_key").
inline constexpr const char* serviceAppKey = "lockharbour";
// Shown translated in the context "BAppInfo".
inline constexpr const char* copyrightNotice = QT_TRANSLATE_NOOP("BAppInfo", "Copyright \u00a9 2026 Tessavond. All rights reserved.");
// First part of the splitter settings keys ("%1.mainWindow.%2_splitter").
inline constexpr const char* settingsPrefix = "lockharbour";

} // namespace BAppInfo

#endif // BAPPINFO_H
