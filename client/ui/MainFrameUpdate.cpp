// CMainFrame: the outcomes of the updater as notices, the what's-new window after a
// login, and the member picture fetched by the download window.
#include "client/ui/MainFrame.h"

#include "client/settings/Settings.h"
#include "client/update/UpdateIntegration.h"
#include "client/update/WndUpdateMessage.h"
#include "dulib/dulib.h"

void CMainFrame::CreateUpdateParts()
{
    m_nNoUpdate = 0;
    m_pDownWnd = std::make_unique<CHttpFileDownWnd>();
    m_pDownWnd->Create(m_hWnd);
}

bool CMainFrame::OnUpdateMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT* result)
{
    switch (msg) {
    case update::WM_UPDATE_APPLIED:
        ShowNotice(update::kUpdatedNotice, kNoticeDelay);
        *result = 0;
        return true;
    case update::WM_UPDATE_CHECK_DONE:
        if (const char* notice = update::CheckDoneNotice(static_cast<int>(wParam), m_nNoUpdate))
            ShowNotice(notice, kNoticeDelay);
        *result = 0;
        return true;
    case WM_DESTROY:
        // Workers stop before the main window's children go.
        m_pDownWnd.reset();
        return false;
    default:
        return false;
    }
}

void CMainFrame::ShowWhatsNewOnce()
{
    Settings settings(Settings::PathIn(m_strAppDir));
    if (settings.hasupdate() != 0)
        return;
    CWndUpdateMessage window(GetSkin(), this);
    (void)window.DoModal(); // however it is closed, it has been seen
    settings.setHasupdate(1);
}

void CMainFrame::StartMemberPictureDownload(const std::string& url, const std::string& path)
{
    if (!m_pDownWnd)
        return;
    m_pDownWnd->ClearRecords();
    m_pDownWnd->Download(url, path, [this] { RefreshMemberPicture(); });
}

void CMainFrame::RefreshMemberPicture()
{
    if (SkinManager* skin = GetSkin()) {
        ResourceTable* resources = skin->GetResources();
        resources->Remove("vip_login_pic", RES_IMAGE);
        if (Resource* picture = resources->Create("vip_login_pic", RES_IMAGE)) {
            picture->LoadFile((m_strAppDir + "skin/vip_login_pic.png").c_str());
            resources->Add(picture);
        }
    }
    InvalidateRect();
}
