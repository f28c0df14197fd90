// The loaded skin: description data plus the live resource table (images and styles that
// the client may replace or rewrite at run time).
#pragma once

#include "dulib/SkinData.h"
#include "dulib/dulib.h"

#include <memory>
#include <string>
#include <vector>

struct _cairo_surface;

namespace dulib {

class StyleItemImpl final : public StyleItem {
public:
    explicit StyleItemImpl(std::string value) : m_value(std::move(value)) {}
    std::string GetValue() override { return m_value; }
    void SetValue(const char* value) override { m_value = value ? value : ""; }

private:
    std::string m_value;
};

class ResourceImpl final : public Resource {
public:
    ResourceImpl(const void* owner, std::string name, int kind);
    ~ResourceImpl();
    ResourceImpl(const ResourceImpl&) = delete;
    ResourceImpl& operator=(const ResourceImpl&) = delete;

    std::string GetName() override { return m_name; }
    int GetKind() override { return m_kind; }
    bool LoadFile(const char* path) override;
    int Count() override;
    StyleItem* Item(int index) override;

    void AddItem(const std::string& value);
    _cairo_surface* Image() const { return m_image; } // null when empty
    const void* Owner() const { return m_owner; }

private:
    const void* m_owner;
    std::string m_name;
    int m_kind;
    _cairo_surface* m_image = nullptr;
    std::vector<std::unique_ptr<StyleItemImpl>> m_items;
};

class ResourceTableImpl final : public ResourceTable {
public:
    bool Add(Resource* resource) override;
    bool Remove(const char* name, int kind) override;
    Resource* Find(const char* name, int kind) override;
    Resource* Create(const char* name, int kind) override;

    ResourceImpl* FindImpl(const std::string& name, int kind);

private:
    std::vector<std::unique_ptr<ResourceImpl>> m_table;
    std::vector<std::unique_ptr<ResourceImpl>> m_detached;
};

class Skin final : public SkinManager {
public:
    Skin(std::unique_ptr<SkinData> data, std::string error);
    ResourceTable* GetResources() override { return &m_resources; }
    std::string GetError() override { return m_error; }

    const SkinData& Data() const { return *m_data; }
    ResourceTableImpl& Resources() { return m_resources; }
    const LayoutDesc* FindLayout(const std::string& name) const;
    const Paint* FindPaint(const std::string& name) const;

private:
    std::unique_ptr<SkinData> m_data;
    std::string m_error;
    ResourceTableImpl m_resources;
};

// File paths given to the engine may carry Windows separators; they name the same file.
std::string NormalisePath(const char* path);

} // namespace dulib
