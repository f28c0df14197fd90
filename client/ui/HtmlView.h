// CKavrelHtmlView: the web view that shows a study page inside a client window, and
// HostWebPage, the step that creates one over a window-host element of a skin layout.
//
// The view is a child window hosting the browser (platform/window/WebView.h): no border,
// no scroll bars, and it never takes the activation from its frame. It is created afresh
// for each page and deletes itself when its window is destroyed, so a holder keeps its
// window handle and asks IsWindow (or CWnd::FromHandle) before using it again.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/Wnd.h"
#include "platform/window/WebView.h"

#include <cstdint>
#include <map>
#include <string>

class CServerClock;

class CKavrelHtmlView : public CWnd {
public:
    // The notices of a download, GBK: "正在下载：", "下载完成：" (with a link that opens the
    // file), "下载失败：", each followed by the file's name; while the bytes come, the first
    // notice goes on with DownloadProgressText.
    static constexpr char kDownloadStarted[] = "\xd5\xfd\xd4\xda\xcf\xc2\xd4\xd8\xa3\xba";
    static constexpr char kDownloadFinished[] = "\xcf\xc2\xd4\xd8\xcd\xea\xb3\xc9\xa3\xba";
    static constexpr char kDownloadFailed[] = "\xcf\xc2\xd4\xd8\xca\xa7\xb0\xdc\xa3\xba";

    // Views live on the heap and end with their window.
    static CKavrelHtmlView* CreateObject() { return new CKavrelHtmlView; }

    // Creates the view window (and its browser) as a child of parent. On failure the
    // object stays the caller's to delete.
    bool Create(HWND parent, int id, DWORD style = WS_CHILD, const RECT& rect = RECT{});
    // Loads the address as given.
    bool Navigate(const std::string& address);
    // The address the view shows now; empty before the first navigation.
    std::string GetLocationURL() const;

protected:
    CKavrelHtmlView() = default;
    int OnCreate(CREATESTRUCT* cs) override;
    void PostNcDestroy() override;
    // A zoom the member chose by key is kept in the main window's settings file; a page's
    // new windows and downloads are handled here, for every window a page lies in.
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowDownloadNotice(const platform::WebViewDownload& download);

    bool m_created = false;
    // The notice text each running download last gave, by file name.
    std::map<std::string, std::string> m_downloadNotices;
};

// What a running download's notice says after "正在下载：" (GBK): the name, then the
// share and the sizes, "notes.pdf 45% (1.2 MB / 2.7 MB)", or only the bytes so far when
// the answer named no size, "notes.pdf 340 KB".
std::string DownloadProgressText(const std::string& name, std::uint64_t received, std::uint64_t total);

// "file://" and the absolute path, every byte but letters, digits, "/-_.~" percent-encoded.
std::string FileAddress(const std::string& path);

// The cache-buster parameter: "?randomtime=" + stamp, or "&randomtime=" + stamp when the
// address already has a query. The stamp goes in as it is (a space and colons included).
std::string AddCacheBuster(const std::string& address, const std::string& stamp);

// Creates a view as child `identifier` of owner, navigates it to address (with the
// cache-buster of `cacheBuster` when given) and hands it to the host element
// hostElementName found below the element rootElementName of owner's layout. Answers 0
// and the view in *view, or -1 when the view window cannot be created.
int HostWebPage(HWND owner, const char* rootElementName, const char* hostElementName, int identifier,
                const std::string& address, const CServerClock* cacheBuster, CKavrelHtmlView** view = nullptr);
