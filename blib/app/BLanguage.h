#ifndef BLANGUAGE_H
#define BLANGUAGE_H

#include <QString>

// The program's language: English (id 100, code "en_au") is built in and
// needs no translator; any other id would be loaded from a resource.

// Installs language `id`; true on success. Another id than 100 needs a
// translation resource, which this build does not have.
bool setLanguage(int id);
// Display name from the language table, "??" for an unknown id.
QString languageName(int id);
// Id of the installed language, 0 before the first successful setLanguage().
int currentLanguage();
// Code of the installed language; names the document folder.
QString languageCode();

// Start-up: installs the language stored under "blib.language.current"
// (default 100). A language that cannot be installed is replaced by English
// and the setting rewritten. False only when English cannot be installed.
bool installStartupLanguage();

#endif // BLANGUAGE_H
