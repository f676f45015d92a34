#ifndef BAPPLICATIONIDENTITY_H
#define BAPPLICATIONIDENTITY_H

// Sets organisation name, organisation domain, application name and version
// on the application object, in that order. The settings store's location
// follows from them.
void applyApplicationIdentity();

#endif // BAPPLICATIONIDENTITY_H
