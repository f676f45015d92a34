#ifndef DATABASESCRIPTAPI_H
#define DATABASESCRIPTAPI_H

class BScript;
class ScriptObjectRegistry;

// The script classes over the database model: Attachment, Password, Group
// and Database. Methods are called with the colon syntax; a wrong self or an
// argument of the wrong type makes a method do nothing and return an empty
// result. Objects are checked against `objects`, which must outlive the
// script's Lua state.
class DatabaseScriptApi
{
public:
    // Publishes the four classes, in this order, in a loaded script.
    static void install(BScript& script, ScriptObjectRegistry* objects);
    // The registry installed in the script's state; null when none is.
    static ScriptObjectRegistry* objects(BScript& script);
};

#endif // DATABASESCRIPTAPI_H
