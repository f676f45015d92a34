#ifndef BTHEME_H
#define BTHEME_H

#include <QString>

// Applies the colour theme "light" or "dark" to the application; any other
// name (names compare case-sensitively) changes nothing.
void setTheme(const QString& name);

#endif // BTHEME_H
