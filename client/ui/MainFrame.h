// CMainFrame: the client's main window. Its face is the "MainFrame_Window" layout. It
// owns its jobs and wires them together:
//   CMemberSession (MemberSession.h)  requests and answers, session record, feeds, the
//                                     session timers, the notice and login windows
//   CPageArea (PageArea.h)            the hosted page view, the page clock, the login gate
// and does the rest itself, one file per job:
//   MainFrame.cpp          creation, message map, event table, width layout, home panel
//   MainFrameServices.cpp  tray, close, maximise, caption, drop-down, colour scheme
//   MainFrameTour.cpp      the guidance tour
//   MainFrameUpdate.cpp    update results, what's new, the member picture download
// Its public calls are the ones the other windows and start-up use; the session and page
// calls among them hand over to their part.
//
// Threads: user-interface thread only.
#pragma once

#include "client/settings/ServerAddresses.h"
#include "client/skin/SkinEvents.h"
#include "client/skin/Wnd.h"
#include "client/ui/MemberSession.h"
#include "client/ui/PageArea.h"
#include "client/update/HttpFileDownWnd.h"

#include <memory>
#include <string>

class CRequestWorker;

class CMainFrame : public CWnd {
public:
    // appDir: the program folder, ending with "/". skin: the application's skin (not
    // owned). firstRun: 1 on the first start of this installation.
    CMainFrame(std::string appDir, SkinManager* skin, int firstRun = 0);
    ~CMainFrame() override;

    // Creates the window (not yet shown: the application shows it after creation).
    bool Create();

    const ServerAddresses& serverAddresses() const { return m_addresses; }
    const std::string& appDir() const { return m_strAppDir; }
    // The public web site, a host name without scheme.
    const std::string& webSite() const { return m_strWebSite; }

    // The event table: the rows of the elements that are no function tile, then one row
    // per tile (FunctionTiles.h); ended by a row whose pattern is null.
    static const EventMapEntry<CMainFrame>* EventTable();

    CMemberSession& MemberSession() { return m_member; }
    CPageArea& PageArea() { return m_pages; }

    // Shows or hides an element of the face when the layout has it.
    void ShowElement(const char* name, bool show);
    // Spreads the face over the window's present width; after panels show or hide.
    void Relayout();

    // ---- Member session and notices (CMemberSession) -----------------------------------

    // The delay every notice is shown with, in milliseconds.
    static constexpr int kNoticeDelay = 100;
    // Plain notice in the notice window; every caller passes kNoticeDelay.
    void ShowNotice(const std::string& text, int delay) { m_member.ShowNotice(text, delay); }
    // Notice with a link: kind 1 short message, 2 forum thread, other: param is the link.
    void ShowNoticeLink(const std::string& text, const std::string& param, int delay, int kind)
    {
        m_member.ShowNoticeLink(text, param, delay, kind);
    }
    // The plain notice with text `current` (waiting or shown) goes on with `text`; see
    // CWndLoginsysnew::UpdateNotice.
    bool UpdateNotice(const std::string& current, const std::string& text) { return m_member.UpdateNotice(current, text); }
    // A member is logged in: uid not 0 and loginSuccess set.
    bool IsLoggedIn() const { return m_member.IsLoggedIn(); }
    void Logout() { m_member.Logout(); }
    // Runs the login window modally (and what follows a login); used by start-up and
    // by the end of the tour.
    void LoginFlow() { m_member.LoginFlow(); }
    void OpenSocialLogin(const std::string& elementName) { m_member.OpenSocialLogin(elementName); }
    // The request worker every service request goes through (the application's one
    // worker, not owned); set before Create. Without one nothing is sent.
    void UseRequestWorker(CRequestWorker* worker) { m_member.UseRequestWorker(worker); }
    // The login request: user name in UTF-8 and password (GBK), apostrophes doubled.
    void RequestLogin(const std::string& userIdUtf8, const std::string& password)
    {
        m_member.RequestLogin(userIdUtf8, password);
    }
    const SessionRecord& Session() const { return m_member.Record(); }
    const FeedTexts& Feeds() const { return m_member.Feeds(); }
    // The login window was opened by the member button (no automatic login then).
    bool LoginFromMemberButton() const { return m_member.LoginFromMemberButton(); }
    // The notice window (closed at shutdown); null before creation.
    HWND NoticeWindow() const { return m_member.NoticeWindow(); }
    CWndLogin& LoginWindow() { return m_member.LoginWindow(); }


    // ---- Pages (CPageArea) -------------------------------------------------------------

    // The login gate before a page: shows the refusal notice and answers false, or
    // prepares the page area and answers true.
    [[nodiscard]] bool CheckPage(const std::string& pageName) { return m_pages.CheckPage(pageName); }
    // Hosts a new page view for address in the page area ("hwndobj_main_lobby_left",
    // identifier 1000), with the cache-buster when asked; it becomes the current page view.
    void HostPage(const std::string& address, bool cacheBuster) { m_pages.HostPage(address, cacheBuster); }
    // Destroys the view hosted in the page area, if any.
    void DestroyHostedPage() { m_pages.DestroyHostedPage(); }
    // The current page view's window, or null when there is none or it is gone.
    HWND CurrentPageView() const { return m_pages.CurrentPageView(); }
    // page base + "/" + pageName, the name as given ("./" and a query kept).
    std::string PageAddress(const std::string& pageName) const { return m_pages.PageAddress(pageName); }
    // The page-address clock (1 ms period) whose text makes every page address unique;
    // tests pause and set it.
    CServerClock& PageClock() { return m_pages.PageClock(); }


    // ---- Frame services and tour ---------------------------------------------------

    // Applies a colour scheme: "" blue, "_Orange" orange (in any letter case). Rewrites
    // the recolour style groups and the back item of the skin, repaints and stores the
    // scheme as `background`. Any other value changes nothing.
    void ChangeColourScheme(const std::string& scheme);
    // Shows the guidance tour (first start); the login follows when it ends.
    void ShowGuidance();
    // The public web site (a host name without scheme).
    const std::string& WebSite() const { return m_strWebSite; }
    // Ends the settings drop-down's tracking (an item chosen, a click outside it).
    void SetDropDownDismissed() { m_nDropDownDismissed = 1; }


    // ---- Update integration and member picture ---------------------------------------

    // Reloads the skin picture "vip_login_pic" from the member picture file and repaints.
    void RefreshMemberPicture();
    // Fetches the member picture at url into path off the user-interface thread (any
    // earlier download is dropped); RefreshMemberPicture runs when it has arrived.
    void StartMemberPictureDownload(const std::string& url, const std::string& path);
    // After a successful login: the what's-new window once per installed update.
    void ShowWhatsNewOnce();


protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    static const EventMapEntry<CMainFrame> s_events[];

    void OnSize(int width);

    // Each job's share of the message map: true when it handled msg (result in *result).
    bool OnServicesMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool OnUpdateMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void CreateUpdateParts(); // the hidden download window

    // ---- Event handlers: the function tiles, the home panel, the member buttons -------

    int OnTile(Plugin* element, int param1, int param2);
    int OnReturn(Plugin* element, int param1, int param2);
    int OnPanelReturn(Plugin* element, int param1, int param2);
    int OnMemberButton(Plugin* element, int param1, int param2);
    int OnLogoutButton(Plugin* element, int param1, int param2);

    // Declared before the download window, so they go after it.
    CMemberSession m_member{*this};
    CPageArea m_pages{*this};


    // ---- Frame services and tour: handlers and state ----------------------------------

    int OnSysMin(Plugin* element, int param1, int param2);
    int OnSysMax(Plugin* element, int param1, int param2);
    int OnSysClose(Plugin* element, int param1, int param2);
    int OnSysSet(Plugin* element, int param1, int param2);
    int OnSysHelp(Plugin* element, int param1, int param2);
    int OnTourNext(Plugin* element, int param1, int param2);
    int OnTourEnd(Plugin* element, int param1, int param2);
    // A gesture on the tray icon: 1 for another icon, else 0.
    LRESULT OnShowTask(WPARAM iconId, LPARAM mouseMessage);
    void OnCaptionDoubleClick(LPARAM point);
    // Close button and the tray's exit: log out, close the main and notice windows.
    void CloseClient();
    void HideTourPages();

    int m_nDropDownDismissed = 0; // set by the drop-down, cleared when its tracking ends
    int m_bTourFromHelp = 0;      // the running (or last) tour was started from help


    // ---- Update integration: handlers and state ----------------------------------------

    // Set to 0 at creation; while not 0 a check that found nothing says so.
    int m_nNoUpdate = 0;
    std::unique_ptr<CHttpFileDownWnd> m_pDownWnd; // the hidden download window


    std::string m_strAppDir;
    int m_bFirstRun = 0;
    ServerAddresses m_addresses;
    std::string m_strWebSite; // the public web site, a host name without scheme
};

// The main window of the running client; null before it is created and after it is gone.
extern CMainFrame* g_pMainFrame;
