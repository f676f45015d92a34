#include "app/plugin/ScriptUserInterface.h"

namespace {

ScriptUserInterface* installedInterface = nullptr;

} // namespace

ScriptUserInterface* ScriptUserInterface::current()
{
    return installedInterface;
}

void ScriptUserInterface::setCurrent(ScriptUserInterface* userInterface)
{
    installedInterface = userInterface;
}
