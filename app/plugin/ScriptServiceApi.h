#ifndef SCRIPTSERVICEAPI_H
#define SCRIPTSERVICEAPI_H

class BScript;

// The service classes of loader scripts, called with the dot syntax:
// Hash and Cipher over the program's cryptographic primitives, Alert and
// Prompt over the installed ScriptUserInterface. An argument of the wrong
// type raises a Lua error; Hash and Cipher give "" for a missing argument
// or an unknown id.
class ScriptServiceApi
{
public:
    static void installHashAndCipher(BScript& script);
    static void installAlertAndPrompt(BScript& script);
};

#endif // SCRIPTSERVICEAPI_H
