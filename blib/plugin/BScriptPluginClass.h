#ifndef BSCRIPTPLUGINCLASS_H
#define BSCRIPTPLUGINCLASS_H

class BPlugin;
class BScript;

// Publishes the class "Plugin" (methods loadFile, log and logLine) in a
// loaded script and the global object "plugin" for `plugin`. The plugin
// also receives the script's messages about aborted loads and calls.
void installPluginClass(BScript& script, BPlugin* plugin);

#endif // BSCRIPTPLUGINCLASS_H
