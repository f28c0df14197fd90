#include "devservice/StudyPages.h"

#include "devservice/StudyService.h"

#include <algorithm>
#include <vector>

namespace devservice {

namespace {

// What a page shows as its main card: a list of entries, an article, or questions to answer.
enum class Kind { List, Article, Questions };

struct PageInfo {
    const char* name; // page name without "./" and without query
    const char* title;
    const char* lead;
    Kind kind;
};

// Every page the client opens, with its title, one line of introduction and its kind.
constexpr PageInfo kPages[] = {
    {"testSites_sitesList.htm", "考点精讲", "按科目梳理的高频考点，每个考点附有典型真题与解析。", Kind::List},
    {"regulation_showList.htm", "法条查询", "收录常用法律、法规与司法解释，支持按条文快速定位。", Kind::List},
    {"examPaper_getList.htm", "历年真题", "历年司法考试四卷真题，附标准答案与名师解析。", Kind::List},
    {"outline_list.htm", "考试大纲", "最新考试大纲全文及新旧大纲变化对照。", Kind::List},
    {"resource_index.htm", "我的资料", "您收藏的讲义、笔记与下载的学习资料。", Kind::List},
    {"chat_index.htm", "聊天室", "与一同备考的学员在线交流心得。", Kind::List},
    {"testself_showList.htm", "自我测试", "按章节组卷，检验您的掌握程度。", Kind::Questions},
    {"discuss_index.htm", "问答讨论", "提出疑问，老师与学员为您解答。", Kind::List},
    {"rule_planStudy.htm", "学习计划", "根据考试时间与您的进度制定每日学习计划。", Kind::Article},
    {"print_index.htm", "打印中心", "将讲义、真题与笔记排版后打印。", Kind::List},
    {"simExam_showSimExamList.htm", "模拟考场", "限时模拟真实考试，交卷后自动评分。", Kind::List},
    {"memberCenter_testCenter.htm", "会员中心", "您的学习记录、考试成绩与账户信息。", Kind::List},
    {"rule_showReview.htm", "复习资料", "考前冲刺复习要点汇编。", Kind::Article},
    {"rule_showPoint.htm", "考点检查", "逐项检查各科考点的掌握情况。", Kind::Questions},
    {"rule_showAudio.htm", "音频课程", "名师讲座音频，随时随地收听。", Kind::List},
    {"rule_showLaw.htm", "法律条文", "重点法条精读与关联条文。", Kind::Article},
    {"rule_showPep.htm", "自测练习", "每日一练，巩固所学知识。", Kind::Questions},
    {"orders_index.htm", "充值购买", "购买课程与充值金币。", Kind::List},
    {"softSearch_searchList.htm", "搜索", "在考点、法条与真题中搜索。", Kind::List},
    {"video_index.htm", "视频课程", "名师视频课程，按年份与科目分类。", Kind::List},
    {"simSite_toIndex.htm", "模拟试题", "精选模拟试题，贴近真题难度。", Kind::Questions},
    {"group_myGroup.htm", "我的圈子", "加入学习小组，互相督促共同进步。", Kind::List},
    {"examPaper_showSimPaperList.htm", "模拟试卷", "整套模拟试卷，检验综合能力。", Kind::List},
    {"member_registe.htm", "会员注册", "注册成为会员，开始您的备考之旅。", Kind::Article},
    {"pass_password.htm", "找回密码", "通过注册邮箱或手机找回您的密码。", Kind::Article},
    {"shortMessage_receivedBox.htm", "短消息", "您收到的站内短消息。", Kind::List},
    {"shortMessage_viewReceived.htm", "查看短消息", "短消息详情。", Kind::Article},
    {"fastHelp_showHelpPage.htm", "快速帮助", "常见问题与使用说明。", Kind::Article},
    {"discuss_forum.htm", "论坛主题", "论坛主题与回复。", Kind::Article},
};

struct ListEntry {
    const char* tag;
    const char* title;
    const char* meta;
};

// The entries of list pages: study material a candidate would browse.
constexpr ListEntry kEntries[] = {
    {"民法", "物权变动的公示原则与善意取得", "考点 · 近五年考查 9 次"},
    {"刑法", "犯罪构成要件的体系与认定", "考点 · 近五年考查 11 次"},
    {"行政法", "行政许可的设定权限与实施程序", "考点 · 近五年考查 6 次"},
    {"民诉法", "级别管辖与地域管辖的适用", "考点 · 近五年考查 7 次"},
    {"刑诉法", "非法证据排除规则", "考点 · 近五年考查 8 次"},
    {"商法", "有限责任公司股权转让", "考点 · 近五年考查 5 次"},
};

struct Paragraph {
    const char* heading; // empty: continues the section before
    const char* text;
};

// The article pages: the quick help, and a study article for the others.
constexpr Paragraph kHelpArticle[] = {
    {"如何开始学习？", "登录后在首页点击功能按钮（考点精讲、法条查询、历年真题等）即可打开对应的学习页面；"
                      "点击左上角的“返回首页”回到功能列表。"},
    {"学习计划在哪里？", "首页下方显示今日学习计划。尚未制定计划时，点击“制定学习计划”按考试时间与进度生成。"},
    {"收到的短消息怎么查看？", "点击顶部的信封图标打开收件箱；右下角的提示窗口中的链接也会直接打开对应的消息。"},
    {"忘记密码怎么办？", "在登录栏点击“找回密码”，通过注册邮箱或手机重设密码。"},
};

constexpr Paragraph kStudyArticle[] = {
    {"一、复习方法", "以考试大纲为纲，先通读教材建立体系，再以历年真题检验掌握程度。"
                    "每个科目至少完成两轮复习：第一轮求全，第二轮求精。"},
    {"", "对于法条类考点，建议结合真题理解条文的适用条件，不要机械背诵。"},
    {"二、时间安排", "距考试一百天时开始系统复习，最后三十天以模拟考试与错题回顾为主，保持每天四到六小时的有效学习时间。"},
    {"三、重点提示", "民法、刑法分值最高，应投入最多时间；三大诉讼法注重程序细节，宜对比记忆。"},
};

struct Question {
    const char* stem;
    const char* choices[4];
    const char* answer;
};

constexpr Question kQuestions[] = {
    {"甲将其所有的一台电脑出借给乙使用，乙擅自将该电脑以市价出卖给不知情的丙，并已交付。下列说法正确的是？",
     {"丙可以善意取得该电脑的所有权", "甲可以请求丙返还电脑", "乙与丙的买卖合同无效", "丙应当向甲支付价款"},
     "A"},
    {"关于正当防卫，下列说法正确的是？",
     {"对正在进行的不法侵害可以实施防卫", "对已经结束的侵害仍可防卫", "防卫过当不负刑事责任", "假想防卫属于正当防卫"},
     "A"},
    {"行政机关作出责令停产停业的决定前，应当告知当事人有权要求举行？",
     {"听证", "复议", "调解", "仲裁"},
     "A"},
};

const char kStyle[] = R"(
* { box-sizing: border-box; }
body { margin: 0; font-family: "WenQuanYi Micro Hei", "Microsoft YaHei", sans-serif; background: #eef3f9; color: #253446; }
header { background: linear-gradient(90deg, #1f5fa8, #2f86d6); color: #fff; padding: 18px 28px; }
header h1 { margin: 0; font-size: 24px; letter-spacing: 2px; }
header p { margin: 6px 0 0; opacity: .85; font-size: 14px; }
main { padding: 20px 28px; display: grid; grid-template-columns: 2fr 1fr; gap: 18px; }
.card { background: #fff; border-radius: 8px; box-shadow: 0 1px 4px rgba(31, 95, 168, .15); padding: 16px 20px; }
.card h2 { margin: 0 0 12px; font-size: 17px; color: #1f5fa8; border-left: 4px solid #f08c2b; padding-left: 10px; }
ol, ul { margin: 0; padding-left: 22px; line-height: 1.9; }
.q { margin-bottom: 14px; }
.q p { margin: 0 0 6px; font-weight: bold; }
.q label { display: block; margin-left: 12px; line-height: 1.8; cursor: pointer; }
.tag { display: inline-block; background: #fdf0e3; color: #c8660f; border-radius: 10px; padding: 1px 10px; font-size: 12px; margin-right: 6px; }
.progress { background: #e3ebf5; border-radius: 6px; height: 12px; overflow: hidden; }
.progress div { background: linear-gradient(90deg, #f08c2b, #f5b041); height: 100%; }
.meta { color: #6b7b8f; font-size: 13px; }
footer { text-align: center; color: #8a99ab; font-size: 12px; padding: 10px 0 18px; }
.entries { list-style: none; padding: 0; }
.entries li { border-bottom: 1px solid #e3ebf5; padding: 6px 0; }
.entries a { color: #253446; text-decoration: none; font-weight: bold; }
.entries p { margin: 2px 0 0; }
.article h3 { margin: 14px 0 4px; font-size: 15px; color: #253446; }
.article p { margin: 0 0 8px; line-height: 1.8; text-indent: 2em; }
button { background: #f08c2b; color: #fff; border: 0; border-radius: 4px; padding: 7px 18px; font-size: 14px; cursor: pointer; }
)";

std::string document(const std::string& title, const std::string& bodyHtml, const std::string& extraStyle = {})
{
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + HtmlEscape(title)
           + "</title>\n<style>" + kStyle + extraStyle + "</style>\n</head>\n<body>\n" + bodyHtml
           + "</body>\n</html>\n";
}

std::string baseName(const std::string& pageName)
{
    std::string name = pageName;
    while (name.rfind("./", 0) == 0)
        name.erase(0, 2);
    if (const std::size_t q = name.find('?'); q != std::string::npos)
        name.resize(q);
    return name;
}

std::string paramsLine(const PageParams& params)
{
    std::string line;
    for (const auto& [key, value] : params) {
        if (key == "randomtime")
            continue;
        line += "<span class=\"tag\">" + HtmlEscape(key) + " = " + HtmlEscape(value) + "</span>";
    }
    return line;
}

std::string param(const PageParams& params, const std::string& key)
{
    const auto it = params.find(key);
    return it == params.end() ? std::string() : it->second;
}

std::string practiceCard()
{
    std::string html = "<section class=\"card\"><h2>今日练习</h2>\n";
    int number = 1;
    for (const Question& q : kQuestions) {
        html += "<div class=\"q\"><p>" + std::to_string(number) + ". " + HtmlEscape(q.stem) + "</p>\n";
        const char letters[] = "ABCD";
        for (int i = 0; i < 4; ++i) {
            html += "<label><input type=\"radio\" name=\"q" + std::to_string(number) + "\"> " + letters[i] + ". "
                    + HtmlEscape(q.choices[i]) + "</label>\n";
        }
        html += "</div>\n";
        ++number;
    }
    html += "<button onclick=\"document.getElementById('result').textContent='参考答案：1.A 2.A 3.A'\">提交答案</button>"
            " <span id=\"result\" class=\"meta\"></span>\n</section>\n";
    return html;
}

const PageInfo* pageInfo(const std::string& name)
{
    for (const PageInfo& page : kPages) {
        if (name == page.name)
            return &page;
    }
    return nullptr;
}

std::string listCard(const std::string& caption)
{
    std::string html = "<section class=\"card\"><h2>" + HtmlEscape(caption) + "</h2>\n<ul class=\"entries\">\n";
    for (const ListEntry& e : kEntries) {
        html += "<li><span class=\"tag\">" + HtmlEscape(e.tag) + "</span><a href=\"#\">" + HtmlEscape(e.title)
                + "</a><p class=\"meta\">" + HtmlEscape(e.meta) + "</p></li>\n";
    }
    return html + "</ul>\n</section>\n";
}

template <std::size_t N>
std::string articleCard(const std::string& caption, const Paragraph (&paragraphs)[N])
{
    std::string html = "<section class=\"card article\"><h2>" + HtmlEscape(caption) + "</h2>\n";
    for (const Paragraph& p : paragraphs) {
        if (*p.heading)
            html += "<h3>" + HtmlEscape(p.heading) + "</h3>\n";
        html += "<p>" + HtmlEscape(p.text) + "</p>\n";
    }
    return html + "</section>\n";
}

// A list, an article or questions, by the page's kind; unknown pages get questions.
std::string kindCard(const std::string& name, const PageParams&)
{
    const PageInfo* page = pageInfo(name);
    if (page && page->kind == Kind::List)
        return listCard(page->title);
    if (page && page->kind == Kind::Article)
        return name == "fastHelp_showHelpPage.htm" ? articleCard("常见问题", kHelpArticle)
                                                   : articleCard(page->title, kStudyArticle);
    return practiceCard();
}

// The main card of a page: what the page is about, with the demo's content.
std::string mainCard(const std::string& name, const PageParams& params)
{
    if (name == "shortMessage_receivedBox.htm" || name == "shortMessage_viewReceived.htm") {
        const std::string pmid = param(params, "pmid");
        std::string html = "<section class=\"card\"><h2>" + std::string(pmid.empty() ? "收件箱" : "短消息 #" + HtmlEscape(pmid))
                           + "</h2>\n<ul>"
                             "<li><span class=\"tag\">未读</span>【学习提醒】本周模拟考试将于周六上午九点开始"
                             "<p class=\"meta\">请提前十分钟进入模拟考场，准备好草稿纸和法条汇编。</p></li>"
                             "<li><span class=\"tag\">未读</span>您的学习计划已更新<p class=\"meta\">系统已根据您的进度调整本周计划。</p></li>"
                             "<li><span class=\"tag\">未读</span>新课程上线通知<p class=\"meta\">民事诉讼法精讲第二季已上线。</p></li>"
                             "</ul>\n</section>\n";
        return html;
    }
    if (name == "discuss_forum.htm") {
        const std::string tid = param(params, "tid");
        return "<section class=\"card\"><h2>主题 #" + HtmlEscape(tid.empty() ? "0" : tid)
               + "：2013年司法考试大纲变化解读</h2>\n<p>今年大纲在民法、刑法与行政法部分均有调整，"
                 "新增考点主要集中在侵权责任与行政强制两部分。建议考生对照新旧大纲逐条复习。</p>\n"
                 "<p class=\"meta\">管理员 · 回复 128 · 浏览 5632</p>\n</section>\n";
    }
    if (name == "memberCenter_testCenter.htm") {
        return "<section class=\"card\"><h2>我的考试记录</h2>\n<ol>"
               "<li>模拟考试（卷一）：得分 112 / 150 <span class=\"meta\">三天前</span></li>"
               "<li>章节自测 · 物权法：得分 18 / 20 <span class=\"meta\">五天前</span></li>"
               "<li>模拟考试（卷二）：得分 98 / 150 <span class=\"meta\">一周前</span></li>"
               "</ol>\n</section>\n";
    }
    if (name == "video_index.htm" || name == "rule_showAudio.htm") {
        std::string year = param(params, "year");
        return "<section class=\"card\"><h2>课程列表" + (year.empty() ? std::string() : "（" + HtmlEscape(year) + "年）")
               + "</h2>\n<ol>"
                 "<li>民法总论：民事法律行为 <span class=\"meta\">45 分钟</span></li>"
                 "<li>刑法总论：犯罪构成 <span class=\"meta\">52 分钟</span></li>"
                 "<li>行政法：行政许可与行政处罚 <span class=\"meta\">38 分钟</span></li>"
                 "<li>民事诉讼法：管辖与证据 <span class=\"meta\">41 分钟</span></li>"
                 "</ol>\n</section>\n";
    }
    if (name == "print_index.htm") {
        // The print function: the page prints itself with the browser's print.
        return "<section class=\"card\"><h2>打印讲义</h2>\n"
               "<button id=\"print\" style=\"display:block;width:100%;height:56px;font-size:18px\" "
               "onclick=\"window.print()\">打印本页</button>\n<ol>"
               "<li>民法讲义 · 物权编 <span class=\"meta\">12 页</span></li>"
               "<li>刑法讲义 · 总则 <span class=\"meta\">9 页</span></li>"
               "<li>2012 年真题卷一 <span class=\"meta\">16 页</span></li>"
               "</ol>\n</section>\n";
    }
    return kindCard(name, params);
}

} // namespace

std::string HtmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string PageTitle(const std::string& pageName)
{
    const PageInfo* page = pageInfo(baseName(pageName));
    return page ? page->title : std::string();
}

bool IsMemberPage(const std::string& pageName)
{
    const std::string name = baseName(pageName);
    static const char* const kOwnPages[] = {"resource_index.htm", "group_myGroup.htm", "shortMessage_receivedBox.htm",
                                            "shortMessage_viewReceived.htm"};
    if (name.rfind("memberCenter_", 0) == 0)
        return true;
    for (const char* own : kOwnPages) {
        if (name == own)
            return true;
    }
    return false;
}

std::string MemberGreeting(const std::string& memberName)
{
    return "<p class=\"greeting\">"
           + (memberName.empty() ? std::string("您还没有登录。") : "您好，" + HtmlEscape(memberName) + "！") + "</p>";
}

std::string StudyPage(const std::string& pageName, const PageParams& params, const std::string& memberName)
{
    const std::string name = baseName(pageName);
    const PageInfo* page = pageInfo(name);
    const std::string title = page ? page->title : "学习页面";
    const std::string lead = page ? page->lead : "本页面内容正在建设中。";

    std::string html = "<header><h1>" + HtmlEscape(title) + "</h1><p>" + HtmlEscape(lead) + "</p>"
                       + (IsMemberPage(name) ? MemberGreeting(memberName) : std::string()) + "</header>\n<main>\n";
    html += mainCard(name, params);
    html += "<aside>\n<section class=\"card\"><h2>学习进度</h2>\n"
            "<p class=\"meta\">本科目已完成 62%</p><div class=\"progress\"><div style=\"width:62%\"></div></div>\n"
            "<ul><li>民法：考点 128 个，已学 97 个</li><li>刑法：考点 104 个，已学 61 个</li>"
            "<li>行政法：考点 76 个，已学 40 个</li></ul>\n</section>\n";
    html += "<section class=\"card\" style=\"margin-top:18px\"><h2>热门推荐</h2>\n<ol>"
            "<li>物权变动的公示原则</li><li>犯罪构成要件的体系</li><li>行政许可的设定权限</li>"
            "<li>民事诉讼的管辖规则</li></ol>\n";
    if (const std::string line = paramsLine(params); !line.empty())
        html += "<p class=\"meta\">" + line + "</p>\n";
    html += "</section>\n</aside>\n</main>\n<footer>页面：" + HtmlEscape(name) + " · 本地学习服务</footer>\n";
    return document(title, html);
}

std::string AdvertisementPage(const std::string& pageName)
{
    const bool top = baseName(pageName) == "ad_top.htm";
    const std::string style = R"(
body { background: transparent; overflow: hidden; }
.ad { height: 100vh; display: flex; align-items: center; justify-content: center; flex-direction: column;
      background: linear-gradient(120deg, #f08c2b, #e2562b); color: #fff; text-align: center; }
.ad b { font-size: 22px; letter-spacing: 3px; }
.ad span { font-size: 13px; margin-top: 6px; opacity: .9; }
/* The top strip is one line high: title and slogan side by side. */
.ad.strip { flex-direction: row; }
.ad.strip b { font-size: 15px; letter-spacing: 2px; }
.ad.strip span { font-size: 12px; margin: 0 0 0 14px; }
)";
    const std::string body = top ? "<div class=\"ad strip\"><b>冲刺班火热报名中</b><span>名师带学 · 考点全覆盖 · 不过退费</span></div>\n"
                                 : "<div class=\"ad\"><b>每天进步一点点</b><span>登录后领取今日学习计划</span></div>\n";
    return document(top ? "冲刺班" : "学习提示", body, style);
}

std::string SocialLoginPage(const std::string& site, const std::string& confirmAddress)
{
    std::string siteName = "第三方";
    if (site == "renren")
        siteName = "人人";
    else if (site == "weibo")
        siteName = "微博";
    else if (site == "qq")
        siteName = "QQ";
    std::string html = "<header><h1>使用" + HtmlEscape(siteName) + "账号登录</h1><p>请选择要授权登录的账号。</p></header>\n"
                       "<main style=\"grid-template-columns:1fr\"><section class=\"card\"><h2>授权登录</h2><ul>\n";
    for (const DemoMember& member : DemoMembers()) {
        const std::string shown = member.realname.empty() ? member.username : member.realname;
        html += "<li>" + HtmlEscape(shown) + " <span class=\"meta\">（" + HtmlEscape(member.memberRoleName)
                + "）</span> <a href=\"" + HtmlEscape(confirmAddress + "&member=" + std::to_string(member.uid))
                + "\"><button>授权并登录</button></a></li>\n";
    }
    html += "</ul></section></main>\n";
    return document("第三方账号登录", html);
}

std::string FrontPage(const std::string& pageBase)
{
    std::string html = "<header><h1>司法考试学习平台</h1><p>本地学习服务：供开发、演示与测试使用。</p></header>\n"
                       "<main style=\"grid-template-columns:1fr\"><section class=\"card\"><h2>学习页面</h2><ul>\n";
    for (const PageInfo& page : kPages) {
        html += "<li><a href=\"" + HtmlEscape(pageBase + "/" + page.name) + "\">" + HtmlEscape(page.title) + "</a></li>\n";
    }
    html += "</ul></section></main>\n";
    return document("司法考试学习平台", html);
}

std::string BrowserTestPage(const std::string& name, const PageParams& params, const std::string& pageBase)
{
    const std::string head = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(name) +
                             "</title><style>body{margin:0;font:20px sans-serif}"
                             ".band{display:block;box-sizing:border-box;height:150px;width:100%;margin:0;border:0;"
                             "padding:20px;color:#fff;font-size:24px;text-align:left}</style></head><body>\n";
    const std::string popup = pageBase + "/browser/popup.htm";
    if (name == "links.htm") {
        const auto other = params.find("other");
        const std::string otherAddress = other == params.end() ? std::string("about:blank") : other->second;
        const auto asked = params.find("features");
        std::string features = asked == params.end() ? std::string("width=500,height=400") : asked->second;
        // The features go inside a quoted script string.
        features.erase(std::remove_if(features.begin(), features.end(), [](char c) { return c == '\'' || c == '\\'; }),
                       features.end());
        return head + "<a class=\"band\" style=\"background:#1565c0\" target=\"_blank\" href=\"" + HtmlEscape(popup) +
               "\">popup.htm (_blank)</a>\n<a class=\"band\" style=\"background:#2e7d32\" target=\"_blank\" href=\"" +
               HtmlEscape(otherAddress) + "\">other host (_blank)</a>\n"
               "<button class=\"band\" style=\"background:#6a1b9a\" onclick=\"window.open('" + popup + "', 'kv', '" +
               HtmlEscape(features) + "')\">window.open(popup.htm)</button>\n"
               "<script>setTimeout(function(){window.open('" + pageBase +
               "/browser/unasked.htm');}, 300);</script>\n</body></html>\n";
    }
    if (name == "downloads.htm") {
        auto band = [&](const char* colour, const char* file) {
            return "<a class=\"band\" style=\"background:" + std::string(colour) + "\" href=\"" + pageBase +
                   "/browser/file/" + file + "\">" + file + "</a>\n";
        };
        return head + band("#1565c0", "notes.pdf") + band("#2e7d32", "data.bin") + band("#6a1b9a", "lecture.zip") +
               "</body></html>\n";
    }
    if (name == "video.htm") {
        return head + "<video id=\"v\" src=\"media/clip.webm\" muted autoplay width=\"320\" height=\"240\"></video>\n"
                      "<script>var v=document.getElementById('v');v.addEventListener('timeupdate',function(){"
                      "if(v.currentTime>1){document.body.style.background='#00c853';}});</script>\n</body></html>\n";
    }
    if (name == "print.htm") {
        return head + "<button class=\"band\" style=\"background:#00695c\" onclick=\"window.print()\">"
                      "window.print()</button>\n<h1>\xe6\xb0\x91\xe6\xb3\x95\xe8\x80\x83\xe7\x82\xb9</h1>"
                      "<p>A page printed from the study client.</p>\n</body></html>\n";
    }
    if (name == "popup.htm") {
        return head + "<button class=\"band\" style=\"background:#c62828;height:100vh\" onclick=\"window.close()\">"
                      "window.close()</button>\n</body></html>\n";
    }
    return {};
}

std::string BrowserTestFile()
{
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace devservice
