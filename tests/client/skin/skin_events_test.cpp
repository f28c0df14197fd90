// The event table dispatcher: first matching row wins, the code must match, "*" tails.
#include "client/skin/SkinEvents.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An element that only has a name; the dispatcher asks nothing else.
class NamedElement final : public Plugin {
public:
    explicit NamedElement(std::string name) : m_name(std::move(name)) {}
    std::string GetName() override { return m_name; }
    std::string GetText() override { return {}; }
    int IsVisible() override { return 1; }
    void GetRect(RECT*) override {}
    Plugin* GetParent() override { return nullptr; }
    Plugin* GetNext() override { return nullptr; }
    void SetStyle(const char*) override {}
    void SetText(const char*) override {}
    void Show(int) override {}
    void SetFocus(int) override {}
    void SetState(int) override {}
    void SetLayoutA(int) override {}
    void Relayout(int) override {}
    Plugin* FindChild(const char*) override { return nullptr; }
    int GetCheck() override { return 0; }
    void SetCheck(int) override {}
    void AttachWindow(HWND) override {}
    HWND GetWindow() override { return nullptr; }
    void SetLink(const char*) override {}
    void SetLayoutB(int) override {}
    void SetLayoutC(int) override {}
    void SetPlanText(const char*) override {}

private:
    std::string m_name;
};

class Handlers {
public:
    int OnClose(Plugin*, int, int) { return record("close", 0); }
    int OnToggle(Plugin*, int on, int) { return record("toggle", 100 + on); }
    int OnLink(Plugin*, int, int) { return record("link", 0); }
    int OnSpecial(Plugin*, int, int) { return record("special", 0); }
    int OnRefuse(Plugin*, int, int) { return record("refuse", -1); }

    int record(const char* what, int answer)
    {
        calls.push_back(what);
        return answer;
    }
    std::vector<std::string> calls;
    static const EventMapEntry<Handlers> s_events[];
};

const EventMapEntry<Handlers> Handlers::s_events[] = {
    {"landing_close", PE_CLICK, &Handlers::OnClose},
    {"landing_close", PE_TOGGLE, &Handlers::OnToggle},
    {"link_*", PE_ACTIVATE, &Handlers::OnLink},
    {"link_special", PE_ACTIVATE, &Handlers::OnSpecial}, // never reached: the row above wins
    {"refusing", PE_CLICK, &Handlers::OnRefuse},
    {nullptr, 0, nullptr},
};

struct DispatchCase {
    const char* label;
    const char* element;
    int code;
    int param1;
    int answer;
    const char* handler; // null: no handler runs
};

class SkinEventsTest : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(SkinEventsTest, DispatchesToFirstMatchingRowOnly)
{
    const DispatchCase& c = GetParam();
    Handlers window;
    NamedElement element(c.element);
    PluginEvent event{c.code, c.param1, 0};
    EXPECT_EQ(c.answer, DispatchSkinEvent(&window, Handlers::s_events, &element, &event));
    std::vector<std::string> expected;
    if (c.handler)
        expected.push_back(c.handler);
    EXPECT_EQ(expected, window.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SkinEventsTest,
    ::testing::Values(DispatchCase{"click_row", "landing_close", PE_CLICK, 0, 0, "close"},
                      DispatchCase{"same_element_other_code", "landing_close", PE_TOGGLE, 1, 101, "toggle"},
                      DispatchCase{"code_mismatch_ignored", "landing_close", PE_ACTIVATE, 0, 0, nullptr},
                      DispatchCase{"star_catches_prefix", "link_forum", PE_ACTIVATE, 0, 0, "link"},
                      DispatchCase{"star_catches_empty_tail", "link_", PE_ACTIVATE, 0, 0, "link"},
                      DispatchCase{"first_row_wins_over_exact", "link_special", PE_ACTIVATE, 0, 0, "link"},
                      DispatchCase{"star_needs_whole_prefix", "lin", PE_ACTIVATE, 0, 0, nullptr},
                      DispatchCase{"star_code_mismatch", "link_forum", PE_CLICK, 0, 0, nullptr},
                      DispatchCase{"exact_needs_whole_name", "landing_close2", PE_CLICK, 0, 0, nullptr},
                      DispatchCase{"refusal_passed_back", "refusing", PE_CLICK, 0, -1, "refuse"},
                      DispatchCase{"unknown_element", "other", PE_CLICK, 0, 0, nullptr}),
    [](const ::testing::TestParamInfo<DispatchCase>& row) { return row.param.label; });

TEST(SkinEventsNullTest, MissingElementOrEventAnswersZero)
{
    Handlers window;
    NamedElement element("landing_close");
    PluginEvent event{PE_CLICK, 0, 0};
    EXPECT_EQ(0, DispatchSkinEvent(&window, Handlers::s_events, nullptr, &event));
    EXPECT_EQ(0, DispatchSkinEvent(&window, Handlers::s_events, &element, nullptr));
    EXPECT_TRUE(window.calls.empty());
}

} // namespace
