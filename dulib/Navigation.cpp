#include "dulib/Navigation.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace dulib {
namespace {

struct Centre {
    long x, y;
};

Centre CentreOf(const Element& e)
{
    const RECT& r = e.rect();
    return {(static_cast<long>(r.left) + r.right) / 2, (static_cast<long>(r.top) + r.bottom) / 2};
}

void CollectReachable(View& view, Element& e, std::vector<Element*>* out)
{
    if (!e.visible()) return;
    if (KeyboardReachable(view, e)) out->push_back(&e);
    for (auto& c : e.children()) CollectReachable(view, *c, out);
}

void SortReadingOrder(std::vector<Element*>* elements)
{
    std::vector<Element*>& v = *elements;
    std::stable_sort(v.begin(), v.end(), [](Element* a, Element* b) { return a->rect().top < b->rect().top; });
    for (auto line = v.begin(); line != v.end();) {
        long middle = CentreOf(**line).y;
        auto end = std::find_if(line, v.end(), [middle](Element* e) { return e->rect().top > middle; });
        std::stable_sort(line, end, [](Element* a, Element* b) { return a->rect().left < b->rect().left; });
        line = end;
    }
}

Element* ArrowGroupOf(View& view, Element* from)
{
    if (!from) return view.root()->desc().arrows ? view.root() : nullptr;
    for (Element* e = from->parent(); e; e = e->parent()) {
        if (e->desc().arrows) return e;
    }
    return nullptr;
}

} // namespace

bool KeyboardReachable(View& view, Element& e)
{
    if (!e.Interactive() || e.kind() == Kind::Caption || !e.enabled() || !e.shownOnScreen()) return false;
    const RECT& r = e.rect();
    if (r.width() <= 0 || r.height() <= 0) return false;
    Centre c = CentreOf(e);
    return view.HitTest(static_cast<int>(c.x), static_cast<int>(c.y)) == &e;
}

std::vector<Element*> FocusOrder(View& view)
{
    std::vector<Element*> order;
    CollectReachable(view, *view.root(), &order);
    SortReadingOrder(&order);
    return order;
}

Element* NextInOrder(View& view, Element* from, bool backwards)
{
    std::vector<Element*> order = FocusOrder(view);
    if (order.empty()) return nullptr;
    auto at = std::find(order.begin(), order.end(), from);
    if (at == order.end()) return backwards ? order.back() : order.front();
    std::size_t i = static_cast<std::size_t>(at - order.begin());
    return order[backwards ? (i + order.size() - 1) % order.size() : (i + 1) % order.size()];
}

Element* NextByArrow(View& view, Element* from, int virtualKey)
{
    if (from && !KeyboardReachable(view, *from)) from = nullptr;
    Element* group = ArrowGroupOf(view, from);
    if (!group) return nullptr;
    std::vector<Element*> inside;
    CollectReachable(view, *group, &inside);
    SortReadingOrder(&inside);
    if (!from) return inside.empty() ? nullptr : inside.front();

    const Centre f = CentreOf(*from);
    const bool horizontal = virtualKey == VK_LEFT || virtualKey == VK_RIGHT;
    const int sign = virtualKey == VK_RIGHT || virtualKey == VK_DOWN ? 1 : -1;
    if (!horizontal && virtualKey != VK_UP && virtualKey != VK_DOWN) return nullptr;
    Element* best = nullptr;
    long bestScore = std::numeric_limits<long>::max();
    for (Element* e : inside) {
        if (e == from) continue;
        const Centre c = CentreOf(*e);
        long along = sign * (horizontal ? c.x - f.x : c.y - f.y);
        long across = std::labs(horizontal ? c.y - f.y : c.x - f.x);
        if (along <= 0) continue;
        // Left and Right stay on the line (the end of a row of tiles is the end); Up and Down
        // may go to the nearest element of the next line even off to the side.
        if (horizontal && (e->rect().bottom <= from->rect().top || e->rect().top >= from->rect().bottom)) continue;
        // Straight on beats a nearer element off to the side: the tiles form a grid.
        long score = along + 2 * across;
        if (score < bestScore) {
            bestScore = score;
            best = e;
        }
    }
    return best;
}

bool NavigateByKey(View& view, int virtualKey, bool shift)
{
    Element* focus = view.focus();
    switch (virtualKey) {
    case VK_TAB:
        if (view.ownKeys() & KEYS_TAB) return false;
        if (Element* next = NextInOrder(view, focus, shift)) {
            view.SetFocus(next);
            return true;
        }
        return false;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
        if (Element* next = NextByArrow(view, focus, virtualKey)) {
            view.SetFocus(next);
            return true;
        }
        return false;
    case VK_RETURN:
        if (view.ownKeys() & KEYS_ENTER) return false;
        [[fallthrough]];
    case VK_SPACE:
        if (!focus || focus->Editable() || !KeyboardReachable(view, *focus)) return false;
        return view.Activate(focus);
    default:
        return false;
    }
}

} // namespace dulib
