// SPDX-License-Identifier: GPL-3.0-or-later
// The registrations through which views hand over the text they hold back.
#include "character/SheetModel.h"

#include <algorithm>
#include <utility>

namespace keld {

struct HeldEditsRegistration::Registry {
    struct Entry {
        std::uint64_t id;
        std::function<void()> handOver;
    };
    std::vector<Entry> entries;
    std::uint64_t nextId = 1;

    void Remove(std::uint64_t id)
    {
        std::erase_if(entries, [id](const Entry& entry) { return entry.id == id; });
    }
};

HeldEditsRegistration::HeldEditsRegistration(std::weak_ptr<Registry> registry, std::uint64_t id)
    : m_registry(std::move(registry)), m_id(id)
{
}

HeldEditsRegistration::HeldEditsRegistration(HeldEditsRegistration&& other) noexcept
    : m_registry(std::move(other.m_registry)), m_id(std::exchange(other.m_id, 0))
{
    other.m_registry.reset();
}

HeldEditsRegistration& HeldEditsRegistration::operator=(HeldEditsRegistration&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_registry = std::move(other.m_registry);
        other.m_registry.reset();
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

HeldEditsRegistration::~HeldEditsRegistration()
{
    Reset();
}

void HeldEditsRegistration::Reset()
{
    // A model that has gone took its registrations with it.
    if (const std::shared_ptr<Registry> registry = m_registry.lock())
        registry->Remove(m_id);
    m_registry.reset();
    m_id = 0;
}

HeldEditsRegistration SheetModel::RegisterHeldEdits(std::function<void()> handOver)
{
    if (!handOver)
        return {};
    if (!m_heldEdits)
        m_heldEdits = std::make_shared<HeldEditsRegistration::Registry>();
    const std::uint64_t id = m_heldEdits->nextId++;
    m_heldEdits->entries.push_back({id, std::move(handOver)});
    return HeldEditsRegistration(m_heldEdits, id);
}

void SheetModel::HandOverHeldEdits()
{
    if (!m_heldEdits || m_heldEdits->entries.empty())
        return;
    // A hand-over writes notes, and a note's write hands over again first; a registration ended
    // meanwhile is skipped rather than called.
    std::vector<std::uint64_t> ids;
    ids.reserve(m_heldEdits->entries.size());
    for (const auto& entry : m_heldEdits->entries)
        ids.push_back(entry.id);
    for (const std::uint64_t id : ids) {
        const auto& entries = m_heldEdits->entries;
        const auto found =
            std::find_if(entries.begin(), entries.end(), [id](const auto& e) { return e.id == id; });
        if (found == entries.end())
            continue;
        const std::function<void()> handOver = found->handOver;
        handOver();
    }
}

} // namespace keld
