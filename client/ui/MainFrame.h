// CMainFrame: the client's main window. It attaches the "MainFrame_Window" layout, reads
// the server addresses, marks the running instance, answers the frame buttons of the
// skin (minimise, maximise toggle, close) and spreads its element groups over the width
// when the size changes.
//
// Threads: user-interface thread only.
#pragma once

#include "client/settings/ServerAddresses.h"
#include "client/skin/SkinEvents.h"
#include "client/skin/Wnd.h"

#include <string>

class CMainFrame : public CWnd {
public:
    // appDir: the program folder, ending with "/".
    explicit CMainFrame(std::string appDir);

    // Creates and shows nothing yet: the application shows the frame after creation.
    bool Create();

    const ServerAddresses& serverAddresses() const { return m_addresses; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    void OnSize(int width);
    int OnSysMin(Plugin* element, int param1, int param2);
    int OnSysMax(Plugin* element, int param1, int param2);
    int OnSysClose(Plugin* element, int param1, int param2);

    static const EventMapEntry<CMainFrame> s_events[];

    std::string m_strAppDir;
    ServerAddresses m_addresses;
};
