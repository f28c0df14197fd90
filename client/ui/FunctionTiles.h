// The main window's function tiles: every element of its face that opens a study page,
// the event code it answers, the page's name exactly as the service knows it and where
// the page opens. The main window's event rows for these elements and its page names both
// come from this one table, so a new tile is a row here and its element in the skin.
//
// Header only, so that tests of the skin and of the dev service read the same table.
#pragma once

#include "dulib/dulib.h"

#include <cstdint>
#include <string_view>

enum class TileOpens {
    PageArea,      // in the main window's page area, behind the login gate
    Browser,       // in the member's browser, without a login
    MessageWindow, // the received short messages, modally, behind the login gate
    QuickHelp,     // the quick help, modally, behind the login check
};

struct FunctionTile {
    const char* element;
    std::int32_t code;     // the event code its row answers
    std::string_view page; // empty: the function is not offered yet
    TileOpens opens;
};

inline constexpr FunctionTile kFunctionTiles[] = {
    {"window_yijianbangzhu", PE_CLICK, "fastHelp_showHelpPage.htm", TileOpens::QuickHelp},
    {"window_makeplan", PE_CLICK, "./rule_planStudy.htm", TileOpens::PageArea},
    {"window_vip_forget", PE_CLICK, "pass_password.htm", TileOpens::Browser},
    {"window_vip_register", PE_CLICK, "member_registe.htm", TileOpens::Browser},
    {"window_kaodian", PE_CLICK, "testSites_sitesList.htm", TileOpens::PageArea},
    {"window_fatiao", PE_CLICK, "regulation_showList.htm", TileOpens::PageArea},
    {"window_zhenti", PE_CLICK, "examPaper_getList.htm", TileOpens::PageArea},
    {"window_dagang", PE_CLICK, "outline_list.htm", TileOpens::PageArea},
    {"window_wodeziliao", PE_CLICK, "./resource_index.htm", TileOpens::PageArea},
    {"window_liaotianshi", PE_CLICK, "./chat_index.htm", TileOpens::PageArea},
    {"window_ziwoceshi", PE_CLICK, "testself_showList.htm", TileOpens::PageArea},
    {"window_wenda", PE_CLICK, "discuss_index.htm", TileOpens::PageArea},
    {"window_yinpin", PE_CLICK, "", TileOpens::PageArea},
    {"window_jihua", PE_CLICK, "./rule_planStudy.htm", TileOpens::PageArea},
    {"window_fudao", PE_CLICK, "", TileOpens::PageArea},
    {"window_dayin", PE_CLICK, "./print_index.htm", TileOpens::PageArea},
    {"window_molikaochang", PE_CLICK, "simExam_showSimExamList.htm", TileOpens::PageArea},
    {"window_email", PE_CLICK, "shortMessage_receivedBox.htm", TileOpens::MessageWindow},
    {"window_person", PE_CLICK, "memberCenter_testCenter.htm", TileOpens::PageArea},
    {"window_review", PE_CLICK, "./rule_showReview.htm", TileOpens::PageArea},
    {"window_checkpoint", PE_CLICK, "./rule_showPoint.htm", TileOpens::PageArea},
    {"window_audio", PE_CLICK, "./rule_showAudio.htm", TileOpens::PageArea},
    {"window_rechtssatz", PE_CLICK, "./rule_showLaw.htm", TileOpens::PageArea},
    {"window_testyourself", PE_CLICK, "./rule_showPep.htm", TileOpens::PageArea},
    {"window_question", PE_CLICK, "discuss_index.htm", TileOpens::PageArea},
    {"window_chongzhigoumai", PE_CLICK, "./orders_index.htm", TileOpens::PageArea},
    {"window_shousuo", PE_CLICK, "softSearch_searchList.htm", TileOpens::PageArea},
    {"window_shipin", PE_CLICK, "./video_index.htm?rid=1&year=2012", TileOpens::PageArea},
    {"window_monishiti", PE_ACTIVATE, "./simSite_toIndex.htm", TileOpens::PageArea},
    {"window_quanzi", PE_ACTIVATE, "./group_myGroup.htm", TileOpens::PageArea},
    {"window_monishijuan", PE_ACTIVATE, "./examPaper_showSimPaperList.htm", TileOpens::PageArea},
};

// The tile of an element name, or null for an element that is no tile.
constexpr const FunctionTile* FindFunctionTile(std::string_view element)
{
    for (const FunctionTile& tile : kFunctionTiles) {
        if (tile.element == element)
            return &tile;
    }
    return nullptr;
}
