// The client's windows as seen from outside, on an X display of our own connection: the
// shown top-level windows whose _NET_WM_PID is the client's, the main window being the one
// that carries the running-instance marker. The client's windows can go at any moment, so
// X errors about them are ignored for the whole connection.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ClientWindow {
    ::Window id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool main = false; // carries the running-instance marker
};

class ClientWindows {
public:
    // Opens the display (nullptr: $DISPLAY); check opened().
    explicit ClientWindows(const char* displayName = nullptr);
    ~ClientWindows();
    ClientWindows(const ClientWindows&) = delete;
    ClientWindows& operator=(const ClientWindows&) = delete;

    [[nodiscard]] bool opened() const { return m_display != nullptr; }

    [[nodiscard]] std::vector<ClientWindow> of(pid_t client) const;
    [[nodiscard]] std::optional<ClientWindow> mainWindow(pid_t client) const;
    // The client's other window of that size (its login window has a size of its own).
    [[nodiscard]] std::optional<ClientWindow> otherWindow(pid_t client, int width, int height) const;

    // Saves the whole screen as a PNG file; false when it cannot.
    [[nodiscard]] bool saveScreen(const std::string& path) const;
    // A pointer click (button 1) at a point of the screen, as the X server's test extension
    // makes it; returns once the server has handled it.
    void click(int x, int y) const;

private:
    [[nodiscard]] std::optional<unsigned long> cardinal(::Window w, Atom property) const;

    Display* m_display = nullptr;
    Atom m_pidAtom = 0;
    Atom m_markerAtom = 0;
};
