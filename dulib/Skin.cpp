#include "dulib/Skin.h"

#include <cairo.h>

#include <algorithm>
#include <cstdio>

namespace dulib {

std::string NormalisePath(const char* path)
{
    std::string p = path ? path : "";
    std::replace(p.begin(), p.end(), '\\', '/');
    // "folder//file" from a folder that already ends with a separator
    std::string out;
    for (char c : p) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    return out;
}

ResourceImpl::ResourceImpl(const void* owner, std::string name, int kind)
    : m_owner(owner), m_name(std::move(name)), m_kind(kind)
{
}

ResourceImpl::~ResourceImpl()
{
    if (m_image) cairo_surface_destroy(m_image);
}

bool ResourceImpl::LoadFile(const char* path)
{
    if (m_kind != RES_IMAGE) return false;
    if (m_image) {
        cairo_surface_destroy(m_image);
        m_image = nullptr;
    }
    std::string p = NormalisePath(path);
    if (p.empty()) return false;
    cairo_surface_t* s = cairo_image_surface_create_from_png(p.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return false;
    }
    m_image = s;
    return true;
}

int ResourceImpl::Count()
{
    return m_kind == RES_STYLE ? static_cast<int>(m_items.size()) : 0;
}

StyleItem* ResourceImpl::Item(int index)
{
    if (m_kind != RES_STYLE || index < 0 || index >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

void ResourceImpl::AddItem(const std::string& value)
{
    m_items.push_back(std::make_unique<StyleItemImpl>(value));
}

bool ResourceTableImpl::Add(Resource* resource)
{
    auto it = std::find_if(m_detached.begin(), m_detached.end(),
                           [&](const auto& r) { return r.get() == resource; });
    if (!resource || it == m_detached.end()) return false;
    std::unique_ptr<ResourceImpl> owned = std::move(*it);
    m_detached.erase(it);
    Remove(owned->GetName().c_str(), owned->GetKind());
    m_table.push_back(std::move(owned));
    return true;
}

bool ResourceTableImpl::Remove(const char* name, int kind)
{
    if (!name) return false;
    auto it = std::find_if(m_table.begin(), m_table.end(), [&](const auto& r) {
        return r->GetKind() == kind && r->GetName() == name;
    });
    if (it == m_table.end()) return false;
    m_table.erase(it);
    return true;
}

ResourceImpl* ResourceTableImpl::FindImpl(const std::string& name, int kind)
{
    for (auto& r : m_table) {
        if (r->GetKind() == kind && r->GetName() == name) return r.get();
    }
    return nullptr;
}

Resource* ResourceTableImpl::Find(const char* name, int kind)
{
    return name ? FindImpl(name, kind) : nullptr;
}

Resource* ResourceTableImpl::Create(const char* name, int kind)
{
    if (!name || (kind != RES_IMAGE && kind != RES_STYLE)) return nullptr;
    m_detached.push_back(std::make_unique<ResourceImpl>(this, name, kind));
    return m_detached.back().get();
}

Skin::Skin(std::unique_ptr<SkinData> data, std::string error)
    : m_data(data ? std::move(data) : std::make_unique<SkinData>()), m_error(std::move(error))
{
    for (const auto& s : m_data->styles) {
        auto* r = static_cast<ResourceImpl*>(m_resources.Create(s.name.c_str(), RES_STYLE));
        for (const auto& item : s.items) r->AddItem(item);
        m_resources.Add(r);
    }
    for (const auto& i : m_data->images) {
        auto* r = m_resources.Create(i.name.c_str(), RES_IMAGE);
        r->LoadFile(i.path.c_str()); // a picture that is not there yet stays empty
        m_resources.Add(r);
    }
}

const LayoutDesc* Skin::FindLayout(const std::string& name) const
{
    auto it = m_data->layouts.find(name);
    return it == m_data->layouts.end() ? nullptr : &it->second;
}

const Paint* Skin::FindPaint(const std::string& name) const
{
    auto it = m_data->paints.find(name);
    return it == m_data->paints.end() ? nullptr : &it->second;
}

} // namespace dulib
