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
// Shown translated in the context "BAppInfo".
inline constexpr const char* copyrightNotice = QT_TRANSLATE_NOOP("BAppInfo", "Copyright \u00a9 2026 Tessavond. All rights reserved.");
// First part of the splitter settings keys ("%1.mainWindow.%2_splitter").
inline constexpr const char* settingsPrefix = "lockharbour";

} // namespace BAppInfo

#endif // BAPPINFO_H
