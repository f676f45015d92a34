#ifndef X11TESTDISPLAY_H
#define X11TESTDISPLAY_H

// An X display of the test's own (Xvfb on a free display number), with a
// window manager (openbox) started and stopped on demand, the target windows
// of tests/support/autotype_target.cpp, and a plain Xlib connection for the
// test to press keys through XTest and read the keyboard mapping.
// DISPLAY points at the display while it runs. Include this only in test
// sources: it brings in Xlib and its macros.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include "app/gui/AutoTypeWindows.h"

#include <initializer_list>
#include <iterator>

#include <memory>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

class X11TestDisplay
{
public:
    ~X11TestDisplay() { stop(); }

    static bool canStart() { return !QStandardPaths::findExecutable("Xvfb").isEmpty(); }
    static bool canStartWindowManager() { return !QStandardPaths::findExecutable("openbox").isEmpty(); }

    // Starts Xvfb and connects to it; false when it did not come up.
    bool start()
    {
        // Xvfb picks a free display number and writes it to the descriptor.
        m_server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
        QByteArray number;
        while (!number.contains('\n') && m_server.waitForReadyRead(10000))
            number += m_server.readAllStandardOutput();
        if (number.trimmed().isEmpty())
            return false;
        m_name = ":" + QString::fromLatin1(number.trimmed());
        qputenv("DISPLAY", m_name.toLatin1());
        m_display = XOpenDisplay(m_name.toLatin1().constData());
        return m_display != nullptr;
    }

    void stop()
    {
        closeTargets();
        stopWindowManager();
        if (m_display)
            XCloseDisplay(m_display);
        m_display = nullptr;
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            m_server.waitForFinished(5000);
        }
    }

    Display* display() const { return m_display; }
    QString name() const { return m_name; }

    bool hasWindowManager() const
    {
        const Atom check = XInternAtom(m_display, "_NET_SUPPORTING_WM_CHECK", False);
        const Window child = windowProperty(DefaultRootWindow(m_display), check);
        return child && windowProperty(child, check) == child;
    }

    // Starts openbox (or stops it) unless it already runs (or does not),
    // and waits until it manages the screen (or let go of it).
    bool setWindowManager(bool running)
    {
        if (running && m_windowManager.state() == QProcess::NotRunning) {
            m_windowManager.start("openbox", {"--sm-disable"});
            return waitFor([this]() { return hasWindowManager(); });
        }
        if (!running)
            stopWindowManager();
        return hasWindowManager() == running;
    }

    // Starts a target window with this title; its text lands in the
    // returned file at every change. Null when it did not start.
    QProcess* startTarget(const QString& title, QString* outputFile)
    {
        *outputFile = m_files.filePath(QString("target%1.txt").arg(m_targets.size()));
        QFile::remove(*outputFile);
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(LH_AUTOTYPE_TARGET, {*outputFile, title});
        if (!process->waitForStarted(10000))
            return nullptr;
        m_targets.push_back(std::move(process));
        return m_targets.back().get();
    }

    void closeTargets()
    {
        for (auto& process : m_targets) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        m_targets.clear();
    }

    static QString readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The whole keyboard mapping: every key code's symbols.
    QVector<KeySym> keyboardMapping() const
    {
        int min = 0, max = 0, perCode = 0;
        XDisplayKeycodes(m_display, &min, &max);
        KeySym* map = XGetKeyboardMapping(m_display, KeyCode(min), max - min + 1, &perCode);
        QVector<KeySym> all(map, map + (max - min + 1) * perCode);
        XFree(map);
        all.prepend(perCode);
        return all;
    }

    // Starts a target window and waits until it is the active window, which
    // it returns (0 when it never became active).
    quint64 startActiveTarget(const QString& title, QString* outputFile, QProcess** process = nullptr)
    {
        QProcess* started = startTarget(title, outputFile);
        if (process)
            *process = started;
        if (!started)
            return 0;
        const bool active = waitFor([&]() {
            return QFile::exists(*outputFile) && AutoTypeWindows::windowTitle(AutoTypeWindows::activeWindow()) == title;
        });
        return active ? AutoTypeWindows::activeWindow() : 0;
    }

    // Presses the keys in order, then releases them in reverse (a shortcut
    // such as Ctrl+Alt+A).
    void pressCombination(std::initializer_list<KeySym> syms)
    {
        for (KeySym sym : syms)
            key(sym, true);
        for (auto it = std::rbegin(syms); it != std::rend(syms); ++it)
            key(*it, false);
    }

    // Presses (or releases) the key of `sym` through XTest.
    void key(KeySym sym, bool down)
    {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, sym), down ? True : False, CurrentTime);
        XSync(m_display, False);
    }

    // Polls `condition` for up to ten seconds.
    template <class Condition>
    static bool waitFor(Condition condition)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > 10000)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

private:
    Window windowProperty(Window window, Atom property) const
    {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* value = nullptr;
        Window result = 0;
        if (XGetWindowProperty(m_display, window, property, 0, 1, False, XA_WINDOW, &type, &format, &items,
                               &after, &value) == Success
            && value && format == 32 && items == 1)
            result = *reinterpret_cast<unsigned long*>(value);
        if (value)
            XFree(value);
        XSync(m_display, False);
        return result;
    }

    void stopWindowManager()
    {
        if (m_windowManager.state() == QProcess::NotRunning)
            return;
        m_windowManager.terminate();
        m_windowManager.waitForFinished(5000);
        waitFor([this]() { return !hasWindowManager(); });
    }

    QProcess m_server;
    QProcess m_windowManager;
    QString m_name;
    Display* m_display = nullptr;
    QTemporaryDir m_files;
    std::vector<std::unique_ptr<QProcess>> m_targets;
};

#endif // X11TESTDISPLAY_H
