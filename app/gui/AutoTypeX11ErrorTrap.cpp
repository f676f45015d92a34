#include "AutoTypeX11ErrorTrap.h"

namespace {

// The innermost trap; traps nest on the GUI thread only.
AutoTypeX11ErrorTrap* currentTrap = nullptr;

} // namespace

AutoTypeX11ErrorTrap::AutoTypeX11ErrorTrap(Display* display)
    : m_display(display)
    , m_outer(currentTrap)
{
    // Errors of requests made before the scope belong to whoever made them.
    XSync(m_display, False);
    m_previous = XSetErrorHandler(&AutoTypeX11ErrorTrap::handler);
    currentTrap = this;
}

AutoTypeX11ErrorTrap::~AutoTypeX11ErrorTrap()
{
    XSync(m_display, False);
    currentTrap = m_outer;
    XSetErrorHandler(m_previous);
}

int AutoTypeX11ErrorTrap::sync()
{
    XSync(m_display, False);
    return m_error;
}

int AutoTypeX11ErrorTrap::handler(Display* display, XErrorEvent* event)
{
    for (AutoTypeX11ErrorTrap* trap = currentTrap; trap; trap = trap->m_outer) {
        if (trap->m_display == display) {
            if (!trap->m_error)
                trap->m_error = event->error_code;
            return 0;
        }
    }
    // Another connection's error: the handler that was there before ours.
    AutoTypeX11ErrorTrap* outermost = currentTrap;
    while (outermost && outermost->m_outer)
        outermost = outermost->m_outer;
    if (outermost && outermost->m_previous)
        return outermost->m_previous(display, event);
    return 0;
}
